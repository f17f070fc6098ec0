#include "photos/end_marker.h"

#include <algorithm>
#include <vector>

namespace kelvara {
namespace {

// The first five bytes are the photo's own header; a marker there is not its end.
constexpr std::uint64_t kFirstCountedIndex = 5;
// How much is searched at a time, back from the end.
constexpr std::uint64_t kBlock = 1 << 20;

// `length` bytes from `start`, in place when the source holds them together, else gathered;
// fewer where the source ends.
std::span<const std::uint8_t> Block(ByteSource& bytes, std::uint64_t start, std::uint64_t length,
                                    std::vector<std::uint8_t>& scratch) {
    std::span<const std::uint8_t> piece = bytes.From(start);
    if (piece.size() >= length) return piece.first(static_cast<std::size_t>(length));
    scratch.clear();
    while (!piece.empty() && scratch.size() < length) {
        piece = piece.first(static_cast<std::size_t>(std::min<std::uint64_t>(piece.size(), length - scratch.size())));
        scratch.insert(scratch.end(), piece.begin(), piece.end());
        piece = bytes.From(start + scratch.size());
    }
    return scratch;
}

}  // namespace

std::optional<std::uint64_t> FindLastEndMarker(ByteSource& bytes, std::uint64_t length, EndMarkerBytes marker) {
    if (length < kFirstCountedIndex + 2) return std::nullopt;
    std::optional<std::uint8_t> following;  // the first byte of the block searched before, which lies after this one
    std::vector<std::uint8_t> scratch;
    for (std::uint64_t blockStart = (length - 1) / kBlock * kBlock;; blockStart -= kBlock) {
        const std::uint64_t blockEnd = std::min(blockStart + kBlock, length);
        const std::span<const std::uint8_t> block = Block(bytes, blockStart, blockEnd - blockStart, scratch);
        if (block.size() < blockEnd - blockStart) return std::nullopt;  // the bytes end early: nothing to search
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
