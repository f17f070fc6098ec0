#pragma once
#include <cstdint>
#include <span>
#include <string>

#include "diskio/sector.h"
#include "diskio/sector_ranges.h"
#include "platform/platform.h"

namespace kelvara {

// The NT family's read. The raw volume \\.\X: opened for reading only; INVALID_HANDLE_VALUE when it cannot be.
HANDLE OpenVolumeToRead(Platform& platform, const std::string& drive);

// Whole sectors from `firstSector` into `run` through an open volume: one move, one read, and
// sector by sector where that fails. Returns how many of the run's sectors the volume holds
// (see ReadSectors); `unreadable`, when given, gets the sectors that could not be read.
std::int32_t ReadVolumeRun(Platform& platform, HANDLE volume, std::int64_t firstSector, std::span<std::uint8_t> run,
                           SectorRanges* unreadable);

// "\\.\X:" for the drive text's first character, upper-cased.
std::string VolumePath(const std::string& drive);

}  // namespace kelvara
