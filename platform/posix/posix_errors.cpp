#include "platform/posix/posix_errors.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/error_messages.h"

namespace kelvara {
namespace {

thread_local DWORD lastError = 0;
thread_local std::string lastReason;

// glibc gives the GNU strerror_r unless strict POSIX is asked for; take either shape.
[[maybe_unused]] std::string ErrnoText(int result, const char* buffer) {
    return result == 0 ? std::string(buffer) : std::string();
}
[[maybe_unused]] std::string ErrnoText(const char* text, const char*) { return text ? text : ""; }

}  // namespace

DWORD Win32ErrorFromErrno(int error, IoDirection direction) {
    switch (error) {
        case 0: return 0;
        case ENOENT: return ERROR_FILE_NOT_FOUND;
        case ENOTDIR: return ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EISDIR: return ERROR_ACCESS_DENIED;
        case EMFILE:
        case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
        case EBADF: return ERROR_INVALID_HANDLE;
        case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
        case EROFS: return ERROR_WRITE_PROTECT;
        case ENXIO:
        case ENODEV:
        case ENOMEDIUM: return ERROR_NOT_READY;
        case EIO: return direction == IoDirection::Write ? ERROR_WRITE_FAULT : ERROR_READ_FAULT;
        case EINVAL: return ERROR_INVALID_PARAMETER;
        case ENOSPC:
        case EDQUOT: return ERROR_DISK_FULL;
        case EFBIG: return ERROR_FILE_TOO_LARGE;
        case EEXIST: return ERROR_ALREADY_EXISTS;
        case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
        case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
        case ELOOP: return ERROR_CANT_RESOLVE_FILENAME;
        case EBUSY:
        case ETXTBSY: return ERROR_BUSY;
        case ENOSYS:
        case EOPNOTSUPP: return ERROR_NOT_SUPPORTED;
        default: return kErrnoErrorFlag | static_cast<DWORD>(error);
    }
}

DWORD Win32ErrorForMissing(const std::string& posixPath) {
    const auto slash = posixPath.find_last_of('/');
    if (slash == std::string::npos) return ERROR_FILE_NOT_FOUND;
    const std::string folder = slash == 0 ? "/" : posixPath.substr(0, slash);
    struct stat info {};
    if (::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return ERROR_FILE_NOT_FOUND;
    return ERROR_PATH_NOT_FOUND;
}

void SetLastWin32Error(DWORD code) {
    lastError = code;
    lastReason.clear();
}
DWORD LastWin32Error() { return lastError; }

bool FailWith(DWORD code, std::string reason) {
    lastError = code;
    lastReason = std::move(reason);
    return false;
}

std::string ReasonGivenWith(DWORD code) { return code == lastError ? lastReason : std::string(); }

bool FailWithErrno(int error, IoDirection direction) { return FailWith(Win32ErrorFromErrno(error, direction)); }

std::string PosixErrorMessage(DWORD code) {
    if ((code & 0xF0000000) != kErrnoErrorFlag) return Win32ErrorMessage(code);
    char buffer[256] = {};
    const int error = static_cast<int>(code & 0x0FFFFFFF);
    std::string text = ErrnoText(strerror_r(error, buffer, sizeof buffer), buffer);
    if (text.empty()) text = "Unknown system error " + std::to_string(error);
    return text + ".";
}

}  // namespace kelvara
