#include "platform/posix/gpt.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>

#include "platform/byte_order.h"

namespace kelvara {
namespace {

constexpr std::uint64_t kSector = 512;
constexpr std::size_t kMaxHeaderBytes = 4096;
constexpr std::size_t kMinHeaderSize = 92;
constexpr std::size_t kMinEntrySize = 128;
constexpr std::uint64_t kMaxEntryBytes = 1 << 20;  // 128 entries of 128 bytes is the usual 16 KiB
// Sector numbers beyond this cannot be a card's, and their byte offsets would not fit 64 bits.
constexpr std::uint64_t kMaxSector = std::uint64_t{1} << 48;

std::uint32_t Crc32(std::span<const std::uint8_t> bytes) {
    std::uint32_t crc = 0xFFFFFFFF;
    for (const std::uint8_t byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
    }
    return ~crc;
}

}  // namespace

std::optional<std::vector<TablePartition>> ReadGptPartitions(const RawVolume& medium, std::uint32_t sectorSize) {
    if (sectorSize < kSector || sectorSize > kMaxHeaderBytes || (sectorSize & (sectorSize - 1)) != 0) return std::nullopt;
    std::array<std::uint8_t, kMaxHeaderBytes> block{};
    const std::span<std::uint8_t> header = std::span(block).first(sectorSize);
    if (!medium.ReadExact(sectorSize, header)) return std::nullopt;
    if (std::memcmp(header.data(), "EFI PART", 8) != 0) return std::nullopt;
    const std::uint32_t headerSize = LoadLe32(header, 12);
    if (headerSize < kMinHeaderSize || headerSize > sectorSize || LoadLe64(header, 24) != 1) return std::nullopt;
    std::array<std::uint8_t, kMaxHeaderBytes> zeroed = block;
    StoreLe32(zeroed, 16, 0);
    if (Crc32(std::span(zeroed).first(headerSize)) != LoadLe32(header, 16)) return std::nullopt;

    const std::uint64_t entriesAt = LoadLe64(header, 72);
    const std::uint32_t count = LoadLe32(header, 80);
    const std::uint32_t entrySize = LoadLe32(header, 84);
    if (entrySize < kMinEntrySize || (entrySize & (entrySize - 1)) != 0) return std::nullopt;
    if (std::uint64_t{count} * entrySize > kMaxEntryBytes || entriesAt < 2 || entriesAt >= kMaxSector)
        return std::nullopt;
    std::vector<std::uint8_t> entries(std::size_t{count} * entrySize);
    if (!medium.ReadExact(entriesAt * sectorSize, entries)) return std::nullopt;
    if (Crc32(entries) != LoadLe32(header, 88)) return std::nullopt;

    // Ours are 512-byte sectors, whatever the table counts in.
    const std::uint64_t ours = sectorSize / kSector;
    std::vector<TablePartition> partitions;
    for (std::uint32_t slot = 0; slot < count; ++slot) {
        const std::span<const std::uint8_t> entry = std::span(entries).subspan(std::size_t{slot} * entrySize, entrySize);
        if (std::all_of(entry.begin(), entry.begin() + 16, [](std::uint8_t b) { return b == 0; })) continue;  // unused
        const std::uint64_t first = LoadLe64(entry, 32), last = LoadLe64(entry, 40);  // last is inclusive
        if (first == 0 || last < first || last >= kMaxSector) continue;
        partitions.push_back({static_cast<int>(slot) + 1, first * ours, (last - first + 1) * ours});
    }
    return partitions;
}

}  // namespace kelvara
