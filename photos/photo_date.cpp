#include "photos/photo_date.h"

#include <algorithm>
#include <cstdint>

namespace kelvara {
namespace {

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day) {
    year -= month <= 2;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

bool Plausible(const formats::PhotoTime& time) {
    // Cameras of film had no clock to write; a year past this is a clock gone wrong.
    return time.year >= 1980 && time.year <= 2200 && time.month >= 1 && time.month <= 12 && time.day >= 1 &&
           time.day <= 31 && time.hour >= 0 && time.hour < 24 && time.minute >= 0 && time.minute < 60 && time.second >= 0 &&
           time.second < 61;
}

}  // namespace

std::optional<FILETIME> FileTimeOf(const SYSTEMTIME& utc) {
    if (utc.wYear < 1601 || utc.wMonth < 1 || utc.wMonth > 12 || utc.wDay < 1 || utc.wDay > 31) return std::nullopt;
    constexpr std::int64_t kFrom1601To1970 = 11644473600;
    const std::int64_t seconds = DaysFromCivil(utc.wYear, utc.wMonth, utc.wDay) * 86400 + utc.wHour * 3600 +
                                 utc.wMinute * 60 + std::min<int>(utc.wSecond, 59) + kFrom1601To1970;
    const auto ticks = static_cast<std::uint64_t>(seconds) * 10000000 + std::uint64_t{utc.wMilliseconds} * 10000;
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

std::optional<FILETIME> PhotoFileTime(Platform& platform, FileKind kind, ByteSource& bytes) {
    const auto date = formats::FormatOf(kind).Date;
    const auto time = date ? date(bytes) : std::nullopt;
    if (!time || !Plausible(*time)) return std::nullopt;
    SYSTEMTIME taken{static_cast<WORD>(time->year), static_cast<WORD>(time->month), 0, static_cast<WORD>(time->day),
                     static_cast<WORD>(time->hour), static_cast<WORD>(time->minute), static_cast<WORD>(time->second), 0};
    if (!time->utc && !platform.TzSpecificLocalTimeToSystemTime(SYSTEMTIME(taken), taken)) return std::nullopt;
    return FileTimeOf(taken);
}

}  // namespace kelvara
