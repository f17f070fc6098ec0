#include "platform/posix/folder_hold.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/posix/posix_errors.h"

namespace kelvara {
namespace {

// Folders every user may write in, where no one may remove what is not theirs.
constexpr const char* kSharedFolders[] = {"/run/lock", "/var/lock", "/tmp"};
constexpr int kAttempts = 5;

bool SharedByEveryone(const char* folder) {
    struct stat info {};
    constexpr mode_t kOpenToAll = S_ISVTX | S_IWOTH | S_IXOTH;
    return ::stat(folder, &info) == 0 && S_ISDIR(info.st_mode) && (info.st_mode & kOpenToAll) == kOpenToAll;
}

UniqueFd OpenOrMake(const std::string& path) {
    UniqueFd lock(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (lock.valid() || errno != ENOENT) return lock;
    lock = UniqueFd(::open(path.c_str(), O_RDONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0444));
    // Whatever the umask, every user must be able to open it to lock it.
    if (lock.valid()) ::fchmod(lock.get(), 0444);
    return lock;
}

}  // namespace

std::optional<FolderHold> FolderHold::Take(int folder, bool folderReadable, DWORD& error) {
    error = 0;
    struct stat info {};
    if (::fstat(folder, &info) != 0) {
        error = Win32ErrorFromErrno(errno);
        return std::nullopt;
    }
    char name[96];
    std::snprintf(name, sizeof name, "kelvara-folder-%llx-%llx.lock", static_cast<unsigned long long>(info.st_dev),
                  static_cast<unsigned long long>(info.st_ino));
    for (const char* shared : kSharedFolders) {
        if (!SharedByEveryone(shared)) continue;
        const std::string path = std::string(shared) + "/" + name;
        for (int attempt = 0; attempt < kAttempts; ++attempt) {
            UniqueFd lock = OpenOrMake(path);
            if (!lock.valid() && errno == EEXIST) continue;  // made by another meanwhile: open that
            struct stat held {};
            if (!lock.valid() || ::fstat(lock.get(), &held) != 0 || !S_ISREG(held.st_mode)) break;
            if (::flock(lock.get(), LOCK_EX | LOCK_NB) != 0) {
                if (errno != EWOULDBLOCK) break;
                error = ERROR_SHARING_VIOLATION;
                return std::nullopt;
            }
            // Its holder may have let it go and removed it between our open and our lock.
            struct stat now {};
            if (::stat(path.c_str(), &now) == 0 && now.st_dev == held.st_dev && now.st_ino == held.st_ino)
                return FolderHold(path, std::move(lock));
        }
    }
    // No lock file could be made anywhere: the folder itself is locked, where it could be opened.
    if (!folderReadable) return std::nullopt;
    UniqueFd own(::fcntl(folder, F_DUPFD_CLOEXEC, 3));
    if (!own.valid()) return std::nullopt;
    if (::flock(own.get(), LOCK_EX | LOCK_NB) == 0) return FolderHold({}, std::move(own));
    if (errno == EWOULDBLOCK) error = ERROR_SHARING_VIOLATION;
    return std::nullopt;
}

FolderHold& FolderHold::operator=(FolderHold&& other) noexcept {
    if (this != &other) {
        if (lock_.valid() && !lockPath_.empty()) ::unlink(lockPath_.c_str());
        lockPath_ = std::exchange(other.lockPath_, {});
        lock_ = std::move(other.lock_);
    }
    return *this;
}

FolderHold::~FolderHold() {
    if (lock_.valid() && !lockPath_.empty()) ::unlink(lockPath_.c_str());
}

}  // namespace kelvara
