#pragma once
// Raw sectors of a drive, below its file system, read once: the platform family is asked and
// the NT volume path or the 9x virtual-device path does the read. A command that reads a card
// more than once holds a SectorSource (sector_source.h) instead.

#include <cstdint>
#include <span>
#include <string>

#include "diskio/disk_error.h"
#include "diskio/sector.h"
#include "diskio/sector_ranges.h"
#include "platform/platform.h"

namespace kelvara {

// Reads `count` bytes starting `offset` bytes into sector `firstSector` of the drive named
// by the first character of `drive`. Sectors that cannot be read come back as zeros.
// Throws DiskError when the device cannot be opened or an argument is out of bounds.
SectorBuffer ReadSectors(Platform& platform, const std::string& drive, std::int64_t firstSector,
                         std::int32_t offset, std::int32_t count);

// The same, into a buffer the caller keeps between reads, so long scans reuse one block
// of memory. On return `into` holds exactly `count` bytes. Returns how many of the run's
// sectors, from its first on, the drive still holds: all of them, unless the volume ends
// inside the run (or before it) or the medium stopped answering, and then the rest is zeros
// because there is nothing there to read. The 9x service does not tell that apart from an
// unreadable sector, so on that family every sector counts as held. Sectors the drive holds but
// could not give are zeros too; when `unreadable` is given they are added to it.
std::int32_t ReadSectors(Platform& platform, const std::string& drive, std::int64_t firstSector,
                         std::int32_t offset, std::int32_t count, SectorBuffer& into,
                         SectorRanges* unreadable = nullptr);

// Whole sectors straight into memory the caller keeps (its size a whole number of sectors, at
// least one): no copy on the NT path, where a drive is read most. Returns as the one above.
std::int32_t ReadSectors(Platform& platform, const std::string& drive, std::int64_t firstSector,
                         std::span<std::uint8_t> into, SectorRanges* unreadable = nullptr);

// The whole sectors a read of `count` bytes from `offset` covers; checks the arguments and
// the arithmetic: offset + count - 1 and that many sectors times 512 in 32 bits, and the
// run's byte position on the drive in 64 bits.
std::int32_t SectorsToRead(const std::string& drive, std::int64_t firstSector, std::int32_t offset,
                           std::int32_t count);

}  // namespace kelvara
