#include "destination/destination_lock.h"

namespace kelvara {

DestinationLock::DestinationLock(Platform& platform, const std::string& folder) : platform_(platform) {
    // The folder opened with no sharing at all: the next opener of it the same way is turned away.
    folder_ = platform.CreateFileA(folder, GENERIC_READ, 0, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
    // A folder this user may write into but not list is held all the same, by a handle that only
    // stands for it.
    if (folder_ == INVALID_HANDLE_VALUE && platform.GetLastError() == ERROR_ACCESS_DENIED)
        folder_ = platform.CreateFileA(folder, 0, 0, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
    if (folder_ == INVALID_HANDLE_VALUE && platform.GetLastError() == ERROR_SHARING_VIOLATION)
        refusal_ = "Another Kelvara is writing into " + folder +
                   " now. Wait until it has finished, or choose another folder.";
}

DestinationLock::~DestinationLock() {
    if (folder_ != INVALID_HANDLE_VALUE) platform_.CloseHandle(folder_);
}

}  // namespace kelvara
