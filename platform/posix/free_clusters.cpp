#include "platform/posix/free_clusters.h"

#include <algorithm>
#include <bit>
#include <vector>

#include "platform/byte_order.h"

namespace kelvara {
namespace {

// Reads go through a buffer of this size, so a volume claiming huge counts costs time in
// proportion to its real size, never memory.
constexpr std::size_t kChunkBytes = 64 * 1024;
// The root folder of an exFAT volume names its bitmap among its first entries; a root folder
// that has not named it within this many bytes is damaged.
constexpr std::uint64_t kMaxRootBytes = 4 * 1024 * 1024;
constexpr std::uint8_t kBitmapEntry = 0x81;
constexpr std::uint8_t kEndOfDirectory = 0x00;

std::optional<std::uint32_t> CountFreeFat12(const VolumeLayout& layout, const RawVolume& volume) {
    // At most 4086 entries, 6 KiB: read at once, since entries straddle byte boundaries.
    const std::size_t entries = std::size_t{layout.clusterCount} + 2;
    std::vector<std::uint8_t> fat((entries * 3 + 1) / 2);
    if (!volume.ReadExact(layout.fatOffset, fat)) return std::nullopt;
    std::uint32_t free = 0;
    for (std::size_t cluster = 2; cluster < entries; ++cluster) {
        const std::size_t at = cluster * 3 / 2;
        const unsigned pair = fat[at] | (at + 1 < fat.size() ? fat[at + 1] : 0) << 8;
        const unsigned entry = (cluster & 1) ? pair >> 4 : pair & 0x0FFF;
        if (entry == 0) ++free;
    }
    return free;
}

std::optional<std::uint32_t> CountFreeFatWide(const VolumeLayout& layout, const RawVolume& volume) {
    const std::size_t entryBytes = layout.kind == FatKind::Fat16 ? 2 : 4;
    const std::uint64_t entries = std::uint64_t{layout.clusterCount} + 2;
    std::vector<std::uint8_t> chunk(kChunkBytes);
    std::uint32_t free = 0;
    for (std::uint64_t first = 0; first < entries;) {
        const std::uint64_t count = std::min<std::uint64_t>(entries - first, kChunkBytes / entryBytes);
        const std::span<std::uint8_t> bytes(chunk.data(), static_cast<std::size_t>(count * entryBytes));
        if (!volume.ReadExact(layout.fatOffset + first * entryBytes, bytes)) return std::nullopt;
        for (std::uint64_t i = 0; i < count; ++i) {
            const std::uint64_t cluster = first + i;
            if (cluster < 2) continue;
            const std::uint32_t entry = entryBytes == 2 ? LoadLe16(bytes, i * 2)
                                                        : LoadLe32(bytes, i * 4) & 0x0FFFFFFF;
            if (entry == 0) ++free;
        }
        first += count;
    }
    return free;
}

// Follows exFAT cluster chains through the FAT, refusing anything outside the heap.
class ExFatChain {
public:
    ExFatChain(const VolumeLayout& layout, const RawVolume& volume) : layout_(layout), volume_(volume) {}

    bool IsCluster(std::uint64_t cluster) const {
        return cluster >= 2 && cluster <= std::uint64_t{layout_.clusterCount} + 1;
    }
    std::uint64_t ClusterOffset(std::uint32_t cluster) const {
        return layout_.clusterHeapOffset + std::uint64_t{cluster - 2} * layout_.clusterBytes();
    }
    // The cluster after `cluster`, or 0 at the end of the chain or on damage. A chain the FAT
    // does not record (a zero entry) is taken as contiguous.
    std::uint32_t Next(std::uint32_t cluster) const {
        std::uint8_t entry[4];
        if (!volume_.ReadExact(layout_.fatOffset + std::uint64_t{cluster} * 4, entry)) return 0;
        const std::uint32_t next = LoadLe32(entry, 0);
        if (next == 0) return IsCluster(std::uint64_t{cluster} + 1) ? cluster + 1 : 0;
        return IsCluster(next) ? next : 0;
    }

private:
    const VolumeLayout& layout_;
    const RawVolume& volume_;
};

struct BitmapLocation {
    std::uint32_t firstCluster = 0;
    std::uint64_t length = 0;
};

std::optional<BitmapLocation> FindExFatBitmap(const VolumeLayout& layout, const RawVolume& volume) {
    const ExFatChain chain(layout, volume);
    const std::uint64_t clusterBytes = layout.clusterBytes();
    std::vector<std::uint8_t> chunk(static_cast<std::size_t>(std::min<std::uint64_t>(clusterBytes, kChunkBytes)));
    std::uint32_t cluster = layout.rootCluster;
    std::uint64_t scanned = 0;
    while (cluster != 0) {
        for (std::uint64_t within = 0; within < clusterBytes; within += chunk.size()) {
            if (scanned >= kMaxRootBytes) return std::nullopt;
            scanned += chunk.size();
            if (!volume.ReadExact(chain.ClusterOffset(cluster) + within, chunk)) return std::nullopt;
            for (std::size_t at = 0; at + 32 <= chunk.size(); at += 32) {
                const std::uint8_t type = chunk[at];
                if (type == kEndOfDirectory) return std::nullopt;
                // Bit 0 of the flags picks the bitmap of the second FAT; the first one is wanted.
                if (type == kBitmapEntry && (chunk[at + 1] & 1) == 0)
                    return BitmapLocation{LoadLe32(chunk, at + 20), LoadLe64(chunk, at + 24)};
            }
        }
        cluster = chain.Next(cluster);
    }
    return std::nullopt;
}

std::uint32_t CountFreeExFat(const VolumeLayout& layout, const RawVolume& volume) {
    const ExFatChain chain(layout, volume);
    const auto bitmap = FindExFatBitmap(layout, volume);
    const std::uint64_t bitmapBytes = (std::uint64_t{layout.clusterCount} + 7) / 8;
    if (!bitmap || !chain.IsCluster(bitmap->firstCluster) || bitmap->length < bitmapBytes) return 0;

    const std::uint64_t clusterBytes = layout.clusterBytes();
    std::vector<std::uint8_t> chunk(static_cast<std::size_t>(std::min<std::uint64_t>(clusterBytes, kChunkBytes)));
    std::uint64_t used = 0;
    std::uint64_t bitsLeft = layout.clusterCount;
    std::uint32_t cluster = bitmap->firstCluster;
    while (bitsLeft > 0 && cluster != 0) {
        for (std::uint64_t within = 0; within < clusterBytes && bitsLeft > 0; within += chunk.size()) {
            const std::size_t bytes = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), (bitsLeft + 7) / 8));
            if (!volume.ReadExact(chain.ClusterOffset(cluster) + within, std::span(chunk).first(bytes))) return 0;
            for (std::size_t i = 0; i < bytes; ++i) {
                std::uint8_t value = chunk[i];
                if (bitsLeft < 8) value &= static_cast<std::uint8_t>((1u << bitsLeft) - 1);
                used += static_cast<unsigned>(std::popcount(value));
                bitsLeft -= std::min<std::uint64_t>(bitsLeft, 8);
            }
        }
        cluster = chain.Next(cluster);
    }
    if (bitsLeft > 0) return 0;  // the chain ended before the bitmap did
    return static_cast<std::uint32_t>(layout.clusterCount - used);
}

}  // namespace

std::optional<std::uint32_t> CountFreeClusters(const VolumeLayout& layout, const RawVolume& volume) {
    switch (layout.kind) {
        case FatKind::Fat12: return CountFreeFat12(layout, volume);
        case FatKind::Fat16:
        case FatKind::Fat32: return CountFreeFatWide(layout, volume);
        case FatKind::ExFat: return CountFreeExFat(layout, volume);
    }
    return std::nullopt;
}

}  // namespace kelvara
