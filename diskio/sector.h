#pragma once
#include <cstdint>
#include <vector>

namespace kelvara {

// A sector holds 512 bytes, always; the device is never asked.
inline constexpr std::int32_t kSectorSize = 512;

// What ReadSectors returns: exactly as many bytes as were asked for, byte 0 first.
// Callers own it and may shorten it in place.
using SectorBuffer = std::vector<std::uint8_t>;

}  // namespace kelvara
