#pragma once
// The POSIX side of GetLastError: errno values become the Win32 codes the program expects, a
// thread's last error is kept the way Windows keeps it, and every code has a sentence.

#include <string>

#include "platform/win32_types.h"

namespace kelvara {

// errno values without a Win32 counterpart travel as this flag with the errno in the low bits,
// in the range Windows leaves to applications.
inline constexpr DWORD kErrnoErrorFlag = 0x20000000;

// Whether the failed call was reading or writing decides what an I/O error becomes.
enum class IoDirection { None, Read, Write };

DWORD Win32ErrorFromErrno(int error, IoDirection direction = IoDirection::None);

// ENOENT for a path whose folder is missing is "path not found" on Windows, not "file not found".
DWORD Win32ErrorForMissing(const std::string& posixPath);

void SetLastWin32Error(DWORD code);
DWORD LastWin32Error();

// Sets the thread's last error and returns false, so a failing call can end in one line. A
// reason, when given, is the sentence the user reads for this failure instead of the code's
// own ("/dev/sdb1 may not be read by this user: ..."); any later error clears it.
bool FailWith(DWORD code, std::string reason = {});
bool FailWithErrno(int error, IoDirection direction = IoDirection::None);

// The sentence for a code: the C library's for an errno carried in it, else Windows' own.
std::string PosixErrorMessage(DWORD code);

// The reason given with the thread's last error when it is `code`; empty otherwise.
std::string ReasonGivenWith(DWORD code);

}  // namespace kelvara
