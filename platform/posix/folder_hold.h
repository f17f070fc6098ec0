#pragma once
// A folder held by one opener at a time: a lock file named after the folder's identity, in a
// folder every user shares (/run/lock), so that a folder nobody may list (mode 0300, say) is
// held as surely as any other, by any user, whatever path it is reached by.

#include <optional>
#include <string>
#include <utility>

#include "platform/posix/unique_fd.h"
#include "platform/win32_types.h"

namespace kelvara {

class FolderHold {
public:
    // Takes hold of the folder open at `folder` (any descriptor of it, O_PATH too). nullopt with
    // ERROR_SHARING_VIOLATION when another opener holds it. Where no lock file can be made at
    // all, a folder that could be opened for reading is held by a lock on it instead
    // (`folderReadable`); failing that it is not held, and nullopt comes with error 0.
    static std::optional<FolderHold> Take(int folder, bool folderReadable, DWORD& error);

    FolderHold(FolderHold&& other) noexcept = default;
    FolderHold& operator=(FolderHold&& other) noexcept;
    // The lock file goes while it is still held, so no one can take a stale one for it.
    ~FolderHold();

private:
    FolderHold(std::string lockPath, UniqueFd lock) : lockPath_(std::move(lockPath)), lock_(std::move(lock)) {}

    std::string lockPath_;  // empty when the folder itself is locked
    UniqueFd lock_;
};

}  // namespace kelvara
