#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "platform/platform.h"

namespace kelvara {

// Sectors per cluster times total clusters: the data area of the volume, which every command
// takes as the number of 512-byte sectors counted from sector 0. nullopt when the platform
// cannot tell the drive's size.
std::optional<std::int64_t> GetVolumeSectors(Platform& platform, const std::string& root);

// The same as the count the window shows: -1 when the size is unknown. 64-bit, so a card of
// 2^31 sectors or more (over 1 TiB) is counted whole.
std::int64_t GetTotalSectors(Platform& platform, const std::string& root);

}  // namespace kelvara
