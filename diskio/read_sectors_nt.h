#pragma once
#include <cstdint>
#include <span>
#include <string>

#include "diskio/sector.h"
#include "diskio/sector_ranges.h"
#include "platform/platform.h"

namespace kelvara {

// The NT family's read: the raw volume \\.\X: opened for reading, one move, one read.
// Returns false, leaving `into` alone, when the volume cannot be opened. `sectorsHeld`, when
// given, receives how many sectors of the run the volume holds (see ReadSectors); `unreadable`,
// when given, gets the sectors that could not be read.
bool ReadSectorsNT(Platform& platform, const std::string& drive, std::int64_t firstSector,
                   std::int32_t offset, std::int32_t count, SectorBuffer& into,
                   std::int32_t* sectorsHeld = nullptr, SectorRanges* unreadable = nullptr);

// The same straight into `into`, whole sectors: the staging bytes are the caller's.
bool ReadSectorsNT(Platform& platform, const std::string& drive, std::int64_t firstSector, std::span<std::uint8_t> into,
                   std::int32_t* sectorsHeld = nullptr, SectorRanges* unreadable = nullptr);

// "\\.\X:" for the drive text's first character, upper-cased.
std::string VolumePath(const std::string& drive);

}  // namespace kelvara
