#include "diskio/get_total_sectors.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "diskio/is_windows_nt.h"
#include "diskio/read_sectors.h"
#include "diskio/read_sectors_nt.h"
#include "diskio/sector.h"
#include "platform/byte_order.h"

namespace kelvara {
namespace {

std::int64_t ToSectors(std::uint64_t bytes) {
    return static_cast<std::int64_t>(std::min<std::uint64_t>(bytes / kSectorSize, kMaxSectors));
}

// The volume's length as the system reports it; nullopt, with the reason as the last error,
// when the volume cannot be opened or does not say.
std::optional<std::uint64_t> VolumeLength(Platform& platform, const std::string& root) {
    const HANDLE volume =
        platform.CreateFileA(VolumePath(root), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, 0);
    if (volume == INVALID_HANDLE_VALUE) return std::nullopt;
    std::array<std::uint8_t, 8> length{};
    DWORD returned = 0;
    const bool told = platform.DeviceIoControl(volume, IOCTL_DISK_GET_LENGTH_INFO, {}, length, returned) &&
                      returned >= length.size();
    platform.CloseHandle(volume);
    if (!told) return std::nullopt;
    return LoadLe64(length, 0);
}

// Sectors per cluster times clusters, counted in 512-byte sectors.
std::optional<std::int64_t> DataAreaSectors(Platform& platform, const std::string& root) {
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
    if (!platform.GetDiskFreeSpaceA(root, sectorsPerCluster, bytesPerSector, freeClusters, totalClusters))
        return std::nullopt;
    // A volume of 4096-byte sectors holds eight of ours in each.
    const std::uint64_t ours = bytesPerSector > kSectorSize && std::has_single_bit(bytesPerSector) && bytesPerSector <= 4096
                                   ? bytesPerSector / kSectorSize
                                   : 1;
    return ToSectors(std::uint64_t{sectorsPerCluster} * totalClusters * ours * kSectorSize);
}

// The bytes a FAT or exFAT boot sector says its volume spans. The sector comes from the medium:
// only fields that hang together are believed.
std::optional<std::uint64_t> BootSectorBytes(const SectorBuffer& b) {
    if (b.size() < static_cast<std::size_t>(kSectorSize)) return std::nullopt;
    if (std::memcmp(b.data() + 3, "EXFAT   ", 8) == 0) {
        const unsigned shift = b[108];
        const std::uint64_t length = LoadLe64(b, 72);
        if (shift < 9 || shift > 12 || length == 0 || length > (UINT64_MAX >> shift)) return std::nullopt;
        return length << shift;
    }
    if (b[0] != 0xEB && b[0] != 0xE9) return std::nullopt;
    const std::uint32_t bytesPerSector = LoadLe16(b, 11);
    if (bytesPerSector < 512 || bytesPerSector > 4096 || !std::has_single_bit(bytesPerSector)) return std::nullopt;
    if (b[13] == 0 || !std::has_single_bit(unsigned{b[13]}) || LoadLe16(b, 14) == 0 || b[16] == 0) return std::nullopt;
    const std::uint32_t total = LoadLe16(b, 19) != 0 ? LoadLe16(b, 19) : LoadLe32(b, 32);
    if (total == 0) return std::nullopt;
    return std::uint64_t{total} * bytesPerSector;
}

}  // namespace

std::optional<std::int64_t> FileSystemSectors(Platform& platform, const std::string& root) {
    try {
        if (const auto bytes = BootSectorBytes(ReadSectors(platform, root, 0, 0, kSectorSize))) return ToSectors(*bytes);
    } catch (const DiskError&) {
    }
    return std::nullopt;
}

std::optional<std::int64_t> GetVolumeSectors(Platform& platform, const std::string& root) {
    if (root.size() < 2 || root[1] != ':') return DataAreaSectors(platform, root);  // fails as any invalid root does
    if (IsWindowsNT(platform)) {
        if (const auto bytes = VolumeLength(platform, root)) return ToSectors(*bytes);
        return DataAreaSectors(platform, root);
    }
    // The 9x family reads the volume only through the disk service: its boot sector tells.
    const auto dataArea = DataAreaSectors(platform, root);
    if (!dataArea) return std::nullopt;
    return std::max(*dataArea, FileSystemSectors(platform, root).value_or(0));
}

std::int64_t GetTotalSectors(Platform& platform, const std::string& root) {
    return GetVolumeSectors(platform, root).value_or(-1);
}

std::optional<std::string> ShortVolumeNote(Platform& platform, const std::string& root, std::int64_t sectors) {
    const auto fileSystem = FileSystemSectors(platform, root);
    if (!fileSystem || *fileSystem <= sectors) return std::nullopt;
    return "Drive " + root + " ends at sector " + std::to_string(sectors) + ", before its file system does (at sector " +
           std::to_string(*fileSystem) +
           "): it is an image cut short, or one made by an older Kelvara that left the card's last sectors out. "
           "It is read to its end; photos in the part that is missing cannot be found.";
}

}  // namespace kelvara
