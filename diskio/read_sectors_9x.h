#pragma once
#include <cstdint>
#include <span>
#include <string>

#include "diskio/sector.h"
#include "diskio/sector_ranges.h"
#include "platform/platform.h"

namespace kelvara {

// The 9x family's read: interrupt 21h function 7305h run by the VWIN32 virtual device.
// Returns false, leaving `into` alone, when the device cannot be opened. The service names a
// sector in 32 bits: sectors from 2^32 on (past 2 TiB) are out of its reach. Sectors the service
// could not read are zeros, and go to `unreadable` when it is given.
bool ReadSectors9x(Platform& platform, const std::string& drive, std::int64_t firstSector,
                   std::int32_t offset, std::int32_t count, SectorBuffer& into, SectorRanges* unreadable = nullptr);
// The same into `into`, which holds `count` bytes.
bool ReadSectors9x(Platform& platform, const std::string& drive, std::int64_t firstSector, std::int32_t offset,
                   std::int32_t count, std::span<std::uint8_t> into, SectorRanges* unreadable = nullptr);

}  // namespace kelvara
