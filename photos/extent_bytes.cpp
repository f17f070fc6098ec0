#include "photos/extent_bytes.h"

#include <algorithm>

namespace kelvara {

ExtentBytes::ExtentBytes(ByteSource& drive, ByteExtents extents) : drive_(&drive), extents_(std::move(extents)) {
    std::uint64_t at = 0;
    for (const ByteExtent& extent : extents_) {
        starts_.push_back(at);
        at += extent.length;
    }
}

std::uint64_t ExtentBytes::DriveOffset(std::uint64_t offset) const {
    if (extents_.empty()) return 0;
    const auto after = std::upper_bound(starts_.begin(), starts_.end(), offset);
    const auto i = static_cast<std::size_t>(after - starts_.begin() - 1);
    return extents_[i].start + std::min(offset - starts_[i], extents_[i].length);
}

std::span<const std::uint8_t> ExtentBytes::From(std::uint64_t offset) {
    const auto after = std::upper_bound(starts_.begin(), starts_.end(), offset);
    if (after == starts_.begin()) return {};
    const auto i = static_cast<std::size_t>(after - starts_.begin() - 1);
    const std::uint64_t into = offset - starts_[i];
    if (into >= extents_[i].length) return {};
    const std::span<const std::uint8_t> piece = drive_->From(extents_[i].start + into);
    return piece.first(static_cast<std::size_t>(std::min<std::uint64_t>(piece.size(), extents_[i].length - into)));
}

}  // namespace kelvara
