#include "platform/posix/posix_errors.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

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

std::string Win32ErrorMessage(DWORD code) {
    if ((code & 0xF0000000) == kErrnoErrorFlag) {
        char buffer[256] = {};
        const int error = static_cast<int>(code & 0x0FFFFFFF);
        std::string text = ErrnoText(strerror_r(error, buffer, sizeof buffer), buffer);
        if (text.empty()) text = "Unknown system error " + std::to_string(error);
        return text + ".";
    }
    switch (code) {
        case 0: return "The operation completed successfully.";
        case ERROR_INVALID_FUNCTION: return "Incorrect function.";
        case ERROR_FILE_NOT_FOUND: return "The system cannot find the file specified.";
        case ERROR_PATH_NOT_FOUND: return "The system cannot find the path specified.";
        case ERROR_TOO_MANY_OPEN_FILES: return "The system cannot open the file.";
        case ERROR_ACCESS_DENIED: return "Access is denied.";
        case ERROR_INVALID_HANDLE: return "The handle is invalid.";
        case ERROR_NOT_ENOUGH_MEMORY: return "Not enough memory resources are available to process this command.";
        case ERROR_INVALID_DRIVE: return "The system cannot find the drive specified.";
        case ERROR_NO_MORE_FILES: return "There are no more files.";
        case ERROR_WRITE_PROTECT: return "The media is write protected.";
        case ERROR_NOT_READY: return "The device is not ready.";
        case ERROR_SHARING_VIOLATION:
            return "The process cannot access the file because it is being used by another process.";
        case ERROR_CRC: return "Data error (cyclic redundancy check).";
        case ERROR_SECTOR_NOT_FOUND: return "The drive cannot find the sector requested.";
        case ERROR_WRITE_FAULT: return "The system cannot write to the specified device.";
        case ERROR_READ_FAULT: return "The system cannot read from the specified device.";
        case ERROR_HANDLE_EOF: return "Reached the end of the file.";
        case ERROR_HANDLE_DISK_FULL: return "The disk is full.";
        case ERROR_NOT_SUPPORTED: return "The request is not supported.";
        case ERROR_FILE_EXISTS: return "The file exists.";
        case ERROR_INVALID_PARAMETER: return "The parameter is incorrect.";
        case ERROR_DISK_FULL: return "There is not enough space on the disk.";
        case ERROR_INSUFFICIENT_BUFFER: return "The data area passed to a system call is too small.";
        case ERROR_INVALID_NAME: return "The filename, directory name, or volume label syntax is incorrect.";
        case ERROR_NEGATIVE_SEEK: return "An attempt was made to move the file pointer before the beginning of the file.";
        case ERROR_DIR_NOT_EMPTY: return "The directory is not empty.";
        case ERROR_BUSY: return "The requested resource is in use.";
        case ERROR_ALREADY_EXISTS: return "Cannot create a file when that file already exists.";
        case ERROR_FILENAME_EXCED_RANGE: return "The filename or extension is too long.";
        case ERROR_FILE_TOO_LARGE: return "The file size exceeds the limit allowed and cannot be saved.";
        case ERROR_UNRECOGNIZED_VOLUME: return "The volume does not contain a recognized file system.";
        case ERROR_MORE_DATA: return "More data is available.";
        case ERROR_CANT_RESOLVE_FILENAME: return "The name of the file cannot be resolved by the system.";
        default: {
            char text[64];
            std::snprintf(text, sizeof text, "Unknown error %u (0x%08X).", code, code);
            return text;
        }
    }
}

}  // namespace kelvara
