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

// A volume's sectors as the signed 32-bit count the window shows: -1 when unknown, at most
// 2,147,483,647.
std::int32_t SectorCount(std::optional<std::int64_t> volumeSectors);

// The same as a signed 32-bit count: -1 when the size is unknown; a volume of 2^31 sectors
// or more (over 1 TiB) is taken as 2,147,483,647 sectors.
std::int32_t GetTotalSectors(Platform& platform, const std::string& root);

}  // namespace kelvara
