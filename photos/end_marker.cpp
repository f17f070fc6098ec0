#include "photos/end_marker.h"

#include <algorithm>

namespace kelvara {
namespace {

// The first five bytes are the photo's own header; a marker there is not its end.
constexpr std::uint64_t kFirstCountedIndex = 5;
// How much is searched at a time, back from the end.
constexpr std::uint64_t kBlock = 1 << 20;

}  // namespace

std::optional<std::uint64_t> FindLastEndMarker(ByteSource& bytes, std::uint64_t length, EndMarkerBytes marker) {
    if (length < kFirstCountedIndex + 2) return std::nullopt;
    std::optional<std::uint8_t> following;  // the first byte of the block searched before, which lies after this one
    for (std::uint64_t blockStart = (length - 1) / kBlock * kBlock;; blockStart -= kBlock) {
        const std::uint64_t blockEnd = std::min(blockStart + kBlock, length);
        std::span<const std::uint8_t> block = bytes.From(blockStart);
        if (block.size() < blockEnd - blockStart) return std::nullopt;  // the bytes end early: nothing to search
        block = block.first(static_cast<std::size_t>(blockEnd - blockStart));
        if (following && block.back() == marker[0] && *following == marker[1] && blockEnd - 1 >= kFirstCountedIndex)
            return blockEnd - 1;
        const std::uint64_t lowest = std::max(blockStart, kFirstCountedIndex);
        for (std::uint64_t at = blockEnd - 1; at > lowest; --at) {
            const auto i = static_cast<std::size_t>(at - blockStart);
            if (block[i] == marker[1] && block[i - 1] == marker[0]) return at - 1;
        }
        if (blockStart == 0) return std::nullopt;
        following = block.front();
    }
}

std::optional<std::size_t> FindLastEndMarker(std::span<const std::uint8_t> buffer, std::uint8_t first,
                                             std::uint8_t second) {
    MemoryBytes bytes(buffer);
    const auto at = FindLastEndMarker(bytes, buffer.size(), {first, second});
    return at ? std::optional<std::size_t>(static_cast<std::size_t>(*at)) : std::nullopt;
}

}  // namespace kelvara
