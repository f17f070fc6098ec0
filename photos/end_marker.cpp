#include "photos/end_marker.h"

namespace kelvara {

// The first five bytes are the photo's own header; a marker there is not its end.
constexpr std::size_t kFirstCountedIndex = 5;

std::optional<std::size_t> FindLastEndMarker(std::span<const std::uint8_t> buffer, std::uint8_t first,
                                             std::uint8_t second) {
    if (buffer.size() < kFirstCountedIndex + 2) return std::nullopt;
    const std::uint8_t* const data = buffer.data();
    for (std::size_t q = buffer.size() - 1; q > kFirstCountedIndex; --q) {
        if (data[q] == second && data[q - 1] == first) return q - 1;
    }
    return std::nullopt;
}

void CutAfterLastEndMarker(SectorBuffer& buffer, std::uint8_t first, std::uint8_t second) {
    if (const auto at = FindLastEndMarker(buffer, first, second)) buffer.resize(*at + 2);
}

}  // namespace kelvara
