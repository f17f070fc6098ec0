#pragma once
// Makes the photos of a medium unrecoverable: the root folder's files deleted, then the
// free space filled with Wipe.img.

#include <cstdint>
#include <optional>
#include <string>

#include "platform/platform.h"
#include "scan/command_progress.h"

namespace kelvara {

// What a wipe did, and what it could not do.
struct WipeReport {
    std::string drive;
    bool listed = false;             // the root folder could be read, so its files were deleted
    std::string listFailure;         // why it could not
    int deleteFailed = 0;            // root files that stayed
    std::string firstDeleteFailure;  // "NAME: reason" of the first of them
    std::string createFailure;       // why Wipe.img could not be made; then nothing was filled
    bool stopped = false;            // the user asked the wipe to stop before the fill was done
    bool filled = false;             // Wipe.img was made and written
    std::uint64_t asked = 0;         // bytes the fill was to write
    std::uint64_t written = 0;       // bytes it wrote
    bool fillStopped = false;        // a write failed, and the fill stopped there
    DWORD fillError = 0;             // the error of that write (0 when it took only part of a block)
    std::string fillFailure;         // what that error says
    bool fillShort = false;          // less was written than the medium had free, for no good reason
    std::optional<std::uint64_t> freeBytes;  // the medium's free space after the deletion, when known
    std::uint64_t cluster = 0;               // bytes of its cluster
    std::string closeFailure;        // why Wipe.img could not be closed
};

// Whether `drive` can be wiped at all, known before the user is asked: a drive string that is no
// drive's root would turn the fill file into a path relative to wherever the program runs, and
// the wipe deletes and fills through the card's file system, so with none mounted it could do
// nothing. After RootUnreadable the platform's last error says why.
enum class WipeCheck { Ready, NotADrive, RootUnreadable };
WipeCheck CheckWipe(Platform& platform, const std::string& drive);

// Deletes the root folder's files of `drive` ("E:\") and fills its free space with `blocks`
// blocks (one for each of the drive's sectors), or until a stop is asked for; `progress` counts
// the blocks. Goes on past every failure; the report tells what went wrong.
WipeReport WipeDrive(Platform& platform, const std::string& drive, std::int64_t blocks, CommandProgress& progress);

}  // namespace kelvara
