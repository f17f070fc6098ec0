#pragma once
// File times the Win32 way on POSIX: FILETIMEs on a file's descriptor, and a local time of the
// machine's time zone as UTC.

#include "platform/win32_types.h"

namespace kelvara {

// Sets the access and modification times (a null one is left as it is); false with errno set.
bool SetFileTimes(int fd, const FILETIME* lastAccessTime, const FILETIME* lastWriteTime);

// `local` in the time zone the C library is set to, as UTC; false for a date it cannot hold.
bool LocalTimeToUtc(const SYSTEMTIME& local, SYSTEMTIME& utc);

}  // namespace kelvara
