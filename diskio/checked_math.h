#pragma once
// The byte counts of one read are signed 32-bit; an overflow is an error, never a wrap.

#include <cstdint>
#include <string>

#include "diskio/disk_error.h"

namespace kelvara {

inline std::int32_t Narrow32(std::int64_t value, const char* what) {
    if (value < INT32_MIN || value > INT32_MAX)
        throw DiskError(DiskError::Kind::Overflow, std::string("Overflow: ") + what + " does not fit in 32 bits");
    return static_cast<std::int32_t>(value);
}
inline std::int32_t CheckedAdd(std::int32_t a, std::int32_t b, const char* what) {
    return Narrow32(std::int64_t{a} + b, what);
}
inline std::int32_t CheckedSub(std::int32_t a, std::int32_t b, const char* what) {
    return Narrow32(std::int64_t{a} - b, what);
}
inline std::int32_t CheckedMul(std::int32_t a, std::int32_t b, const char* what) {
    return Narrow32(std::int64_t{a} * b, what);
}

}  // namespace kelvara
