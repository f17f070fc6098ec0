#pragma once
// Files written into a claimed destination: always a new file, never the card being recovered,
// never a file of the user's replaced, and never a half-written file under its final name.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "destination/destination.h"
#include "platform/platform.h"

namespace kelvara {

// Opens a new file at `path` for writing, in place of whatever has that name. A link, or any
// other entry of the name, is removed and never followed, and the file is made anew, so nothing
// but the file named is written (a hard link's other names keep their content). Refused when the
// file of that name is the very file drive `sourceDrive` reads (its card image): that would
// destroy the card being recovered. Returns the handle, or INVALID_HANDLE_VALUE with `failure`
// saying why. (The disk wipe's fill file, on the card itself: nothing is recovered there.)
HANDLE CreateInPlaceOf(Platform& platform, const std::string& path, const std::string& sourceDrive,
                       std::string& failure);

// How a file came to be in the destination.
struct Committed {
    std::string name;           // relative to the destination: the name asked for, or the next free one
    bool otherName = false;     // a different file had the name asked for
    bool alreadyThere = false;  // the same bytes were there under `name` already: nothing was written
};

// A file written under a temporary name in its folder of the destination and given its name only
// once it is whole, so that a file under its final name is always whole, whatever stops the
// program. The temporary's name ends in ".kelvara-XXXXXXXX.tmp", and the destination records it,
// so that only it is removed after a kill. Where a file of the name is there already, the same
// bytes count as this one; other bytes keep their name and this file takes the next free one of
// the same form ("Image001 (2).JPG"), unless the destination replaces its own files.
class TemporaryFile {
public:
    TemporaryFile(Destination& destination, std::string relativeName);
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

    // Closes the temporary and gives it its name (or `otherName`, in the same folder). nullopt once
    // it is there, and committed() says under which name; otherwise why not, and the temporary
    // is removed.
    std::optional<std::string> Commit();
    std::optional<std::string> CommitAs(const std::string& otherName);
    const Committed& committed() const { return committed_; }
    // Closes and removes the temporary.
    void Discard();

private:
    void Close();
    std::optional<std::string> Place(const std::string& leaf);
    bool SameBytes(const std::string& a, const std::string& b);

    Destination& destination_;
    Platform& platform_;
    std::string leaf_;
    HANDLE folder_ = INVALID_HANDLE_VALUE;
    std::string relativeFolder_;  // the part of the name before the leaf, with its separator
    std::string temporary_;
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    bool closeFailed_ = false;
    std::string failure_;
    Committed committed_;
};

// Hands out a file's content a piece at a time; an empty piece ends it. May throw.
using NextPiece = std::function<std::span<const std::uint8_t>()>;

// Content held in memory, as one piece.
NextPiece WholeContent(std::span<const std::uint8_t> bytes);

// Writes the pieces as the whole content of the file `relativeName` of the destination, through a
// TemporaryFile. Returns nullopt when all of it is there (`committed`, when given, says under
// which name), otherwise the reason, and then nothing of it is left. What `next` throws is thrown
// on, after the temporary is removed.
std::optional<std::string> WriteWholeFile(Destination& destination, const std::string& relativeName,
                                          const NextPiece& next, const std::optional<FILETIME>& lastWriteTime = {},
                                          Committed* committed = nullptr);

// "Image001.JPG" as the n-th of its name: "Image001 (2).JPG"; n = 1 is the name itself.
std::string NumberedName(const std::string& name, int n);

}  // namespace kelvara
