#include "filesystem/allocation_table.h"

#include <algorithm>

#include "formats/byte_reader.h"

namespace kelvara {

AllocationTable::AllocationTable(ByteSource& drive, const BootRegion& region)
    : drive_(drive), region_(region), pages_(kPages) {}

std::optional<std::uint8_t> AllocationTable::Byte(std::uint64_t offset) {
    if (offset >= region_.tableBytes) return std::nullopt;
    const std::uint64_t number = offset / kPageBytes;
    Page& page = pages_[number % kPages];
    if (page.number != number) {
        page.number = number;
        const std::uint64_t length = std::min<std::uint64_t>(kPageBytes, region_.tableBytes - number * kPageBytes);
        page.read = formats::ReadAt(drive_, region_.tableStart + number * kPageBytes,
                                    std::span<std::uint8_t>(page.bytes.data(), static_cast<std::size_t>(length)));
    }
    if (!page.read) return std::nullopt;
    return page.bytes[offset % kPageBytes];
}

std::optional<std::uint32_t> AllocationTable::Next(std::uint32_t cluster) {
    const ClusterLayout& layout = region_.layout;
    const std::uint32_t pastLast = layout.clusterCount + 2;
    auto bytes = [&](std::uint64_t at, int count) -> std::optional<std::uint32_t> {
        std::uint32_t value = 0;
        for (int i = 0; i < count; ++i) {
            const auto b = Byte(at + static_cast<std::uint64_t>(i));
            if (!b) return std::nullopt;
            value |= std::uint32_t{*b} << (8 * i);
        }
        return value;
    };
    std::optional<std::uint32_t> value;
    std::uint32_t endFrom = 0;
    switch (region_.kind) {
        case FileSystemKind::Fat12:
            value = bytes(std::uint64_t{cluster} * 3 / 2, 2);
            if (value) *value = cluster % 2 ? *value >> 4 : *value & 0xFFF;
            endFrom = 0xFF7;
            break;
        case FileSystemKind::Fat16:
            value = bytes(std::uint64_t{cluster} * 2, 2);
            endFrom = 0xFFF7;
            break;
        case FileSystemKind::Fat32:
            value = bytes(std::uint64_t{cluster} * 4, 4);
            if (value) *value &= 0x0FFFFFFF;
            endFrom = 0x0FFFFFF7;
            break;
        case FileSystemKind::Exfat:
            value = bytes(std::uint64_t{cluster} * 4, 4);
            endFrom = 0xFFFFFFF7;
            break;
    }
    if (!value) return std::nullopt;
    // Bad clusters and end marks alike end a chain; so does a link past the card.
    if (*value >= endFrom || *value >= pastLast || *value == 1) return std::max(pastLast, 2u);
    return value;
}

bool AllocationTable::Chain(std::uint32_t first, std::uint64_t most, const std::function<void(std::uint32_t)>& each) {
    std::uint32_t cluster = first;
    for (std::uint64_t count = 0; region_.layout.Holds(cluster) && count < most; ++count) {
        each(cluster);
        const auto next = Next(cluster);
        if (!next || *next == 0) return false;
        if (!region_.layout.Holds(*next)) return true;
        cluster = *next;
    }
    return false;
}

std::optional<ByteExtents> AllocationTable::FileExtents(std::uint32_t first, std::uint64_t size) {
    const std::uint64_t clusterBytes = region_.layout.clusterBytes;
    if (size == 0 || clusterBytes == 0 || !region_.layout.Holds(first)) return std::nullopt;
    const std::uint64_t needed = (size - 1) / clusterBytes + 1;
    if (needed > region_.layout.clusterCount) return std::nullopt;
    ByteExtents extents;
    std::uint64_t left = size, count = 0;
    // A loop never reaches an end mark: it is cut off after the clusters the size needs.
    const bool whole = Chain(first, needed, [&](std::uint32_t cluster) {
        ++count;
        AppendCluster(extents, region_.layout, cluster, left);
    });
    if (!whole || count != needed) return std::nullopt;
    return extents;
}

void AppendCluster(ByteExtents& extents, const ClusterLayout& layout, std::uint32_t cluster, std::uint64_t& left) {
    const std::uint64_t take = std::min<std::uint64_t>(left, layout.clusterBytes);
    if (take == 0) return;
    const std::uint64_t start = layout.StartOf(cluster);
    if (!extents.empty() && extents.back().start + extents.back().length == start)
        extents.back().length += take;
    else
        extents.push_back({start, take});
    left -= take;
}

}  // namespace kelvara
