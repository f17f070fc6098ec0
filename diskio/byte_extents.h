#pragma once
// Where a file's bytes lie on its drive when they are not all in one run: the pieces of a photo
// that a camera wrote into the holes deleted ones left, or a chain the card's allocation table
// still holds, in the file's own order.

#include <algorithm>
#include <cstdint>
#include <vector>

namespace kelvara {

struct ByteExtent {
    std::uint64_t start = 0;   // bytes from the drive's first sector
    std::uint64_t length = 0;  // start + length never overflows
    bool operator==(const ByteExtent&) const = default;
};

using ByteExtents = std::vector<ByteExtent>;

// The extents that hold a file's first `length` bytes, the last cut where those end.
inline ByteExtents Leading(ByteExtents extents, std::uint64_t length) {
    std::size_t kept = 0;
    for (; kept < extents.size() && length > 0; ++kept) {
        extents[kept].length = std::min(extents[kept].length, length);
        length -= extents[kept].length;
    }
    extents.resize(kept);
    return extents;
}

}  // namespace kelvara
