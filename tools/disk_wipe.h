#pragma once
// Makes the photos of a medium unrecoverable: the root folder's files deleted, then the
// free space filled with Wipe.img.

#include <cstdint>
#include <optional>
#include <string>

#include "platform/platform.h"
#include "scan/host.h"

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
    std::optional<std::uint64_t> freeBytes;  // the medium's free space after the deletion, when known
    std::uint64_t cluster = 0;               // bytes of its cluster
    std::string closeFailure;        // why Wipe.img could not be closed
};

// Deletes the root folder's files of `drive` ("E:\") and fills its free space, block by block
// until the sector count the window shows or until the host asks to stop. Goes on past every
// failure; shows nothing.
WipeReport WipeDrive(Platform& platform, Host& host, const std::string& drive);

// What the user is told of a wipe that fell short: a root file that could not be deleted,
// Wipe.img that could not be made, less written than the medium had free, a stop. nullopt for a
// wipe that did its job.
std::optional<std::string> WipeShortfall(const WipeReport& report);

// The Disk Wipe command: nothing when the sector count is 0; one message and nothing else
// when the drive's root folder cannot be listed (no file system mounted); the question;
// "Wipeing"; WipeDrive; "Ready"; and one message when it fell short.
void DiskWipe(Platform& platform, Host& host);

}  // namespace kelvara
