#include "platform/posix/file_times.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <ctime>

namespace kelvara {
namespace {

// FILETIME counts from 1601; the epoch of time_t is 1970-01-01, 11,644,473,600 seconds on.
constexpr std::int64_t kFrom1601To1970 = 11644473600;
constexpr std::int64_t kTicksPerSecond = 10000000;

timespec SpecOf(const FILETIME* time) {
    if (!time) return {0, UTIME_OMIT};
    const std::int64_t ticks =
        static_cast<std::int64_t>(std::uint64_t{time->dwHighDateTime} << 32 | time->dwLowDateTime) - kFrom1601To1970 * kTicksPerSecond;
    std::int64_t seconds = ticks / kTicksPerSecond, rest = ticks % kTicksPerSecond;
    if (rest < 0) rest += kTicksPerSecond, --seconds;
    return {static_cast<time_t>(seconds), static_cast<long>(rest * 100)};
}

}  // namespace

bool SetFileTimes(int fd, const FILETIME* lastAccessTime, const FILETIME* lastWriteTime) {
    const timespec times[2] = {SpecOf(lastAccessTime), SpecOf(lastWriteTime)};
    return ::futimens(fd, times) == 0;
}

bool LocalTimeToUtc(const SYSTEMTIME& local, SYSTEMTIME& utc) {
    std::tm parts{};
    parts.tm_year = local.wYear - 1900;
    parts.tm_mon = local.wMonth - 1;
    parts.tm_mday = local.wDay;
    parts.tm_hour = local.wHour;
    parts.tm_min = local.wMinute;
    parts.tm_sec = local.wSecond;
    parts.tm_isdst = -1;  // whatever the zone's rules say for that date
    errno = 0;
    const std::time_t seconds = std::mktime(&parts);
    std::tm out{};
    if ((seconds == static_cast<std::time_t>(-1) && errno != 0) || !::gmtime_r(&seconds, &out)) return false;
    utc = SYSTEMTIME{static_cast<WORD>(out.tm_year + 1900), static_cast<WORD>(out.tm_mon + 1), static_cast<WORD>(out.tm_wday),
                     static_cast<WORD>(out.tm_mday), static_cast<WORD>(out.tm_hour), static_cast<WORD>(out.tm_min),
                     static_cast<WORD>(out.tm_sec), local.wMilliseconds};
    return true;
}

}  // namespace kelvara
