#pragma once
// Ordinary files the way CreateFileA, ReadFile and WriteFile treat them.

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "platform/posix/folder_hold.h"
#include "platform/posix/unique_fd.h"
#include "platform/win32_types.h"

namespace kelvara {

struct OpenedFile {
    UniqueFd fd;
    bool existed = false;  // CREATE_ALWAYS and OPEN_ALWAYS report this as ERROR_ALREADY_EXISTS
    std::optional<FolderHold> hold;  // a folder opened with share mode 0
};

// Opens posixPath with a Win32 access mask, share mode, creation disposition and flags. A link
// in the file's own place is never followed, whatever the disposition: nothing is written
// anywhere but the file named. Special files are refused, and folders unless
// FILE_FLAG_BACKUP_SEMANTICS asks for one, as Windows does; a folder opened with share mode 0 is
// held against every other such opener, of any user (see FolderHold; it ends with the process),
// and ERROR_SHARING_VIOLATION says it is held. A folder opened without GENERIC_READ need not be
// one this user may list. nullopt with a Win32 error on failure.
// A relative posixPath is looked up in the folder open at `folder` (AT_FDCWD: the working folder).
std::optional<OpenedFile> OpenDosFile(const std::string& posixPath, DWORD desiredAccess, DWORD shareMode,
                                      DWORD creationDisposition, DWORD flags, DWORD& error, int folder = -100);

// Reads until the buffer is full or the file ends.
bool ReadFileBytes(int fd, std::span<std::uint8_t> buffer, DWORD& numberOfBytesRead, DWORD& error);

// Writes every byte, going on after short writes and interruptions. On failure
// numberOfBytesWritten holds what did reach the file.
bool WriteFileBytes(int fd, std::span<const std::uint8_t> buffer, DWORD& numberOfBytesWritten, DWORD& error);

}  // namespace kelvara
