#include "formats/byte_reader.h"

#include <algorithm>

namespace kelvara::formats {

bool ReadAt(ByteSource& source, std::uint64_t offset, std::span<std::uint8_t> out) {
    std::size_t done = 0;
    while (done < out.size()) {
        const auto at = Add(offset, done);
        if (!at) return false;
        const auto piece = source.From(*at);
        if (piece.empty()) return false;
        const std::size_t take = std::min(piece.size(), out.size() - done);
        std::copy_n(piece.begin(), take, out.begin() + static_cast<std::ptrdiff_t>(done));
        done += take;
    }
    return true;
}

}  // namespace kelvara::formats
