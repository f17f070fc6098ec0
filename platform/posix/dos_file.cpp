#include "platform/posix/dos_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <limits>

#include "platform/posix/posix_errors.h"

namespace kelvara {
namespace {

constexpr mode_t kNewFileMode = 0666;  // narrowed by the umask
// Large single transfers are split so each fits what read and write take at once.
constexpr std::size_t kMaxTransfer = 1u << 30;

DWORD OpenError(int error, const std::string& path) {
    return error == ENOENT ? Win32ErrorForMissing(path) : Win32ErrorFromErrno(error);
}

std::optional<OpenedFile> OpenFolder(int at, const std::string& posixPath, DWORD desiredAccess, DWORD shareMode,
                                     DWORD& error) {
    OpenedFile opened;
    // Without read access asked for, the handle only stands for the folder.
    const bool read = desiredAccess & GENERIC_READ;
    opened.fd = UniqueFd(::openat(at, posixPath.c_str(), (read ? O_RDONLY : O_PATH) | O_DIRECTORY | O_CLOEXEC));
    if (!opened.fd.valid()) {
        error = OpenError(errno, posixPath);
        return std::nullopt;
    }
    if (shareMode == 0) {
        opened.hold = FolderHold::Take(opened.fd.get(), read, error);
        if (!opened.hold && error != 0) return std::nullopt;
    }
    return opened;
}

}  // namespace

std::optional<OpenedFile> OpenDosFile(const std::string& posixPath, DWORD desiredAccess, DWORD shareMode,
                                      DWORD creationDisposition, DWORD openFlags, DWORD& error, int at) {
    static_assert(AT_FDCWD == -100);
    struct stat existing {};
    if ((openFlags & FILE_FLAG_BACKUP_SEMANTICS) && creationDisposition == OPEN_EXISTING &&
        ::fstatat(at, posixPath.c_str(), &existing, 0) == 0 && S_ISDIR(existing.st_mode))
        return OpenFolder(at, posixPath, desiredAccess, shareMode, error);

    const bool wantRead = desiredAccess & GENERIC_READ;
    const bool wantWrite = desiredAccess & GENERIC_WRITE;
    // O_NONBLOCK only so a FIFO cannot hang the open; O_NOFOLLOW so a link planted under the
    // name is refused, never written through.
    int flags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW;
    flags |= wantWrite ? (wantRead ? O_RDWR : O_WRONLY) : O_RDONLY;

    OpenedFile opened;
    int fd = -1;
    switch (creationDisposition) {
        case CREATE_NEW:
            fd = ::openat(at, posixPath.c_str(), flags | O_CREAT | O_EXCL, kNewFileMode);
            if (fd < 0 && errno == EEXIST) {
                error = ERROR_FILE_EXISTS;
                return std::nullopt;
            }
            break;
        case CREATE_ALWAYS:
        case OPEN_ALWAYS: {
            const int extra = creationDisposition == CREATE_ALWAYS ? O_TRUNC : 0;
            fd = ::openat(at, posixPath.c_str(), flags | O_CREAT | O_EXCL, kNewFileMode);
            if (fd < 0 && errno == EEXIST) {
                opened.existed = true;
                fd = ::openat(at, posixPath.c_str(), flags | O_CREAT | extra, kNewFileMode);
            }
            break;
        }
        case OPEN_EXISTING: fd = ::openat(at, posixPath.c_str(), flags); break;
        case TRUNCATE_EXISTING:
            if (!wantWrite) {
                error = ERROR_INVALID_PARAMETER;
                return std::nullopt;
            }
            fd = ::openat(at, posixPath.c_str(), flags | O_TRUNC);
            break;
        default: error = ERROR_INVALID_PARAMETER; return std::nullopt;
    }
    if (fd < 0) {
        error = OpenError(errno, posixPath);
        return std::nullopt;
    }
    opened.fd = UniqueFd(fd);

    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        error = Win32ErrorFromErrno(errno);
        return std::nullopt;
    }
    if (!S_ISREG(info.st_mode)) {
        error = ERROR_ACCESS_DENIED;
        return std::nullopt;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return opened;
}

bool ReadFileBytes(int fd, std::span<std::uint8_t> buffer, DWORD& numberOfBytesRead, DWORD& error) {
    numberOfBytesRead = 0;
    std::size_t done = 0;
    while (done < buffer.size()) {
        const ssize_t got = ::read(fd, buffer.data() + done, std::min(buffer.size() - done, kMaxTransfer));
        if (got < 0) {
            if (errno == EINTR) continue;
            numberOfBytesRead = static_cast<DWORD>(done);
            error = Win32ErrorFromErrno(errno == EBADF ? EACCES : errno, IoDirection::Read);
            return false;
        }
        if (got == 0) break;
        done += static_cast<std::size_t>(got);
    }
    numberOfBytesRead = static_cast<DWORD>(done);
    return true;
}

bool WriteFileBytes(int fd, std::span<const std::uint8_t> buffer, DWORD& numberOfBytesWritten, DWORD& error) {
    std::size_t done = 0;
    while (done < buffer.size()) {
        const ssize_t put = ::write(fd, buffer.data() + done, std::min(buffer.size() - done, kMaxTransfer));
        if (put < 0) {
            if (errno == EINTR) continue;
            numberOfBytesWritten = static_cast<DWORD>(done);
            error = Win32ErrorFromErrno(errno == EBADF ? EACCES : errno, IoDirection::Write);
            return false;
        }
        if (put == 0) {  // nothing taken and no reason given: the medium is full
            numberOfBytesWritten = static_cast<DWORD>(done);
            error = ERROR_DISK_FULL;
            return false;
        }
        done += static_cast<std::size_t>(put);
    }
    numberOfBytesWritten = static_cast<DWORD>(done);
    return true;
}

}  // namespace kelvara
