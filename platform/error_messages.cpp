#include "platform/error_messages.h"

#include <cstdio>

namespace kelvara {

std::string Win32ErrorMessage(DWORD code) {
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
        case ERROR_NOT_SAME_DEVICE: return "The system cannot move the file to a different disk drive.";
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
