#pragma once
#include <cstdint>
#include <optional>
#include <span>

#include "diskio/sector.h"

namespace kelvara {

// Where the last two-byte end marker starts, searching back from the end; a marker that
// starts at index 0 to 4 does not count. nullopt when there is none.
std::optional<std::size_t> FindLastEndMarker(std::span<const std::uint8_t> buffer, std::uint8_t first,
                                             std::uint8_t second);

// Shortens the buffer so that it ends with the last marker's second byte; keeps it whole
// when there is no marker.
void CutAfterLastEndMarker(SectorBuffer& buffer, std::uint8_t first, std::uint8_t second);

}  // namespace kelvara
