#include "filesystem/boot_region.h"

#include <cstring>

#include "platform/byte_order.h"

namespace kelvara {
namespace {

bool PowerOfTwo(std::uint64_t value) { return value != 0 && (value & (value - 1)) == 0; }

std::optional<BootRegion> ReadExfat(std::span<const std::uint8_t> s) {
    const unsigned sectorShift = s[108], clusterShift = s[109];
    if (sectorShift < 9 || sectorShift > 12 || clusterShift > 25 - sectorShift || s[110] < 1 || s[110] > 2)
        return std::nullopt;
    const std::uint64_t sector = std::uint64_t{1} << sectorShift;
    BootRegion region;
    region.kind = FileSystemKind::Exfat;
    region.layout.clusterBytes = static_cast<std::uint32_t>(sector << clusterShift);
    region.tableStart = LoadLe32(s, 80) * sector;
    region.tableBytes = LoadLe32(s, 84) * sector;
    region.layout.dataStart = LoadLe32(s, 88) * sector;
    region.layout.clusterCount = LoadLe32(s, 92);
    region.rootCluster = LoadLe32(s, 96);
    if (region.tableStart == 0 || region.tableBytes < (std::uint64_t{region.layout.clusterCount} + 2) * 4 ||
        region.layout.dataStart < region.tableStart + region.tableBytes || region.layout.clusterCount > 0xFFFFFFF5u ||
        !region.layout.Holds(region.rootCluster))
        return std::nullopt;
    return region;
}

std::optional<BootRegion> ReadFat(std::span<const std::uint8_t> s) {
    const std::uint32_t sector = LoadLe16(s, 11);
    const std::uint32_t perCluster = s[13];
    const std::uint32_t reserved = LoadLe16(s, 14);
    const std::uint32_t tables = s[16];
    const std::uint32_t rootEntries = LoadLe16(s, 17);
    const std::uint32_t total = LoadLe16(s, 19) ? LoadLe16(s, 19) : LoadLe32(s, 32);
    const std::uint32_t tableSectors = LoadLe16(s, 22) ? LoadLe16(s, 22) : LoadLe32(s, 36);
    if (sector < 512 || sector > 4096 || !PowerOfTwo(sector) || !PowerOfTwo(perCluster) || reserved == 0 ||
        tables == 0 || tableSectors == 0 || total == 0)
        return std::nullopt;
    const std::uint64_t rootSectors = (std::uint64_t{rootEntries} * 32 + sector - 1) / sector;
    const std::uint64_t dataSector = reserved + std::uint64_t{tables} * tableSectors + rootSectors;
    if (dataSector >= total) return std::nullopt;
    const std::uint64_t clusters = (total - dataSector) / perCluster;
    if (clusters == 0 || clusters > 0x0FFFFFF5u) return std::nullopt;

    BootRegion region;
    region.kind = clusters < 4085 ? FileSystemKind::Fat12 : clusters < 65525 ? FileSystemKind::Fat16 : FileSystemKind::Fat32;
    region.layout.clusterBytes = sector * perCluster;
    region.layout.clusterCount = static_cast<std::uint32_t>(clusters);
    region.layout.dataStart = dataSector * sector;
    region.tableStart = std::uint64_t{reserved} * sector;
    region.tableBytes = std::uint64_t{tableSectors} * sector;
    const unsigned entryBits = region.kind == FileSystemKind::Fat12 ? 12 : region.kind == FileSystemKind::Fat16 ? 16 : 32;
    if (region.tableBytes * 8 / entryBits < clusters + 2) return std::nullopt;
    if (region.kind == FileSystemKind::Fat32) {
        region.rootCluster = LoadLe32(s, 44);
        if (!region.layout.Holds(region.rootCluster)) return std::nullopt;
    } else {
        if (rootEntries == 0) return std::nullopt;
        region.rootStart = region.tableStart + tables * region.tableBytes;
        region.rootBytes = rootEntries * 32;
    }
    return region;
}

}  // namespace

std::optional<BootRegion> ReadBootRegion(std::span<const std::uint8_t> sector) {
    if (sector.size() < 512 || sector[510] != 0x55 || sector[511] != 0xAA) return std::nullopt;
    if (std::memcmp(sector.data() + 3, "EXFAT   ", 8) == 0) return ReadExfat(sector);
    // A FAT boot sector starts with a jump: EB xx 90 or E9 xx xx.
    if (sector[0] != 0xEB && sector[0] != 0xE9) return std::nullopt;
    return ReadFat(sector);
}

}  // namespace kelvara
