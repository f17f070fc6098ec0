#pragma once
#include <cstdint>
#include <string>

#include "diskio/sector.h"
#include "platform/platform.h"

namespace kelvara {

// The NT family's read: the raw volume \\.\X: opened for reading, one move, one read.
// Returns false, leaving `into` alone, when the volume cannot be opened. `sectorsHeld`, when
// given, receives how many sectors of the run the volume holds (see ReadSectors).
bool ReadSectorsNT(Platform& platform, const std::string& drive, std::int64_t firstSector,
                   std::int32_t offset, std::int32_t count, SectorBuffer& into,
                   std::int32_t* sectorsHeld = nullptr);

// "\\.\X:" for the drive text's first character, upper-cased.
std::string VolumePath(const std::string& drive);

}  // namespace kelvara
