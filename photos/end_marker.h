#pragma once
#include <cstdint>
#include <optional>
#include <span>

#include "formats/byte_source.h"
#include "formats/format.h"

namespace kelvara {

// Where the last two-byte end marker starts among the first `length` bytes, searching back
// from their end; a marker that starts at index 0 to 4 does not count. nullopt when there is
// none. Reads the source back to front, a piece at a time.
std::optional<std::uint64_t> FindLastEndMarker(ByteSource& bytes, std::uint64_t length, EndMarkerBytes marker);

// The same over bytes in memory.
std::optional<std::size_t> FindLastEndMarker(std::span<const std::uint8_t> buffer, std::uint8_t first,
                                             std::uint8_t second);

}  // namespace kelvara
