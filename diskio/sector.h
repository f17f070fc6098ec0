#pragma once
#include <cstdint>
#include <vector>

namespace kelvara {

// A sector holds 512 bytes, always; the device is never asked.
inline constexpr std::int32_t kSectorSize = 512;

// Sector numbers are 64-bit; the largest keeps its byte position a signed 64-bit number.
inline constexpr std::int64_t kMaxSectors = INT64_MAX / kSectorSize;

// What ReadSectors returns: exactly as many bytes as were asked for, byte 0 first.
// Callers own it and may shorten it in place.
using SectorBuffer = std::vector<std::uint8_t>;

}  // namespace kelvara
