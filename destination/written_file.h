#pragma once
// Files written into the destination folder: always a new file of the name asked for, never the
// card being recovered, and never a half-written file under its final name.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "platform/platform.h"

namespace kelvara {

// Opens a new file at `path` for writing, in place of whatever has that name. A link, or any
// other entry of the name, is removed and never followed, and the file is made anew, so nothing
// but the file named is written (a hard link's other names keep their content). Refused when the
// file of that name is the very file drive `sourceDrive` reads (its card image): that would
// destroy the card being recovered. Returns the handle, or INVALID_HANDLE_VALUE with `failure`
// saying why.
HANDLE CreateInPlaceOf(Platform& platform, const std::string& path, const std::string& sourceDrive,
                       std::string& failure);

// A file written under a temporary name in the folder of `path` and renamed to `path` only once it
// is whole, so that a file under its final name is always whole, whatever stops the program. The
// temporary's name ends in ".kelvara-XXXXXXXX.tmp": plainly not a photo, and RemoveLeftovers knows
// it. Renaming replaces whatever had the final name (a link included) and never writes through it;
// a final name that is the card image being read is refused before anything is written.
class TemporaryFile {
public:
    TemporaryFile(Platform& platform, std::string path, std::string sourceDrive = {});
    ~TemporaryFile();  // removes the temporary unless it was committed
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    // Whether the temporary is open for writing; failure() says why not.
    bool ok() const { return handle_ != INVALID_HANDLE_VALUE; }
    const std::string& failure() const { return failure_; }
    HANDLE handle() const { return handle_; }

    // Writes all of `bytes`; false, with failure() saying why, when the folder took less.
    bool Write(std::span<const std::uint8_t> bytes);
    // Gives the file this last write time, kept through the rename; after the last Write. A time
    // the folder does not take leaves the file as it is, whole.
    void SetLastWriteTime(const FILETIME& time);

    // Closes the temporary and renames it to `path` (or `otherPath`). nullopt once it is there;
    // otherwise why not, and the temporary is removed.
    std::optional<std::string> Commit();
    std::optional<std::string> CommitAs(const std::string& otherPath);
    // Closes and removes the temporary.
    void Discard();

private:
    void Close();

    Platform& platform_;
    std::string path_;
    std::string sourceDrive_;
    std::string temporary_;
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    bool closeFailed_ = false;
    std::string failure_;
};

// Removes the temporaries a Kelvara that was killed left in `folder`. Only the writer of a folder
// calls it: while one Kelvara writes into a folder no other does (DestinationLock).
void RemoveLeftovers(Platform& platform, const std::string& folder);

// Hands out a file's content a piece at a time; an empty piece ends it. May throw.
using NextPiece = std::function<std::span<const std::uint8_t>()>;

// Content held in memory, as one piece.
NextPiece WholeContent(std::span<const std::uint8_t> bytes);

// Writes the pieces as the whole content of the file at `path`, through a TemporaryFile. Returns
// nullopt when all of it is there, otherwise the reason, and then nothing of it is left: what
// stood under the name before stays. What `next` throws is thrown on, after the temporary is
// removed.
std::optional<std::string> WriteWholeFile(Platform& platform, const std::string& path, const NextPiece& next,
                                          const std::string& sourceDrive = {}, const std::optional<FILETIME>& lastWriteTime = {});

}  // namespace kelvara
