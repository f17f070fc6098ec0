// Hostile cards for the geometry behind GetDiskFreeSpaceA and for the partition tables: the
// input becomes an image file, attached to the POSIX platform as a drive would be, and every
// drive it gives is asked for its size and read. A size that comes back must describe a data
// area inside the volume; nothing may crash, hang or allocate beyond the volume's needs.
//
// Input: LE32 volume length in sectors, then chunks of LE32 first sector, LE16 length and that
// many bytes. What the chunks leave out is zero, so a short input stands for a card of
// megabytes whose few telling sectors (boot sector, FATs, root folder) lie far apart.

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "diskio/get_total_sectors.h"
#include "diskio/read_sectors.h"
#include "platform/posix/boot_sector.h"
#include "platform/posix/partition_table.h"
#include "platform/posix/posix_platform.h"

namespace kelvara {
namespace {

constexpr std::uint32_t kMaxVolumeSectors = 131072;  // 64 MiB: room for a real FAT32

std::uint32_t Le(std::span<const std::uint8_t> in, std::size_t at, int bytes) {
    std::uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = value << 8 | in[at + static_cast<std::size_t>(i)];
    return value;
}

// One file in memory, rewritten for every input; reached by path like any image.
struct ImageFile {
    ImageFile() : fd(::memfd_create("kelvara-fuzz-volume", MFD_CLOEXEC)) {
        if (fd < 0) std::abort();
        path = "/proc/self/fd/" + std::to_string(fd);
        home = std::filesystem::temp_directory_path() / ("kelvara-fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(home);  // C: and an empty system root: no real devices
    }
    int fd;
    std::string path;
    std::string home;
};

void Check(bool condition) {
    if (!condition) std::abort();
}

void CheckLayout(const VolumeLayout& layout, std::uint64_t volumeBytes) {
    Check(layout.bytesPerSector >= 512 && layout.bytesPerSector <= 4096);
    Check((layout.bytesPerSector & (layout.bytesPerSector - 1)) == 0);
    Check(layout.sectorsPerCluster != 0 && (layout.sectorsPerCluster & (layout.sectorsPerCluster - 1)) == 0);
    Check(layout.clusterCount != 0);
    Check(layout.fatOffset + layout.fatBytes <= layout.clusterHeapOffset);
    Check(layout.clusterHeapOffset + std::uint64_t{layout.clusterCount} * layout.clusterBytes() <= volumeBytes);
}

}  // namespace
}  // namespace kelvara

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kelvara;
    static ImageFile file;
    const std::span<const std::uint8_t> in(data, size);
    if (in.size() < 4) return 0;

    const std::uint32_t sectors = std::clamp<std::uint32_t>(Le(in, 0, 4), 1, kMaxVolumeSectors);
    const std::uint64_t length = std::uint64_t{sectors} * 512;
    if (::ftruncate(file.fd, 0) != 0 || ::ftruncate(file.fd, static_cast<off_t>(length)) != 0) std::abort();
    for (std::size_t at = 4; at + 6 <= in.size();) {
        const std::uint64_t offset = std::uint64_t{Le(in, at, 4) % sectors} * 512;
        const std::size_t count = std::min<std::size_t>({Le(in, at + 4, 2), in.size() - at - 6, length - offset});
        if (::pwrite(file.fd, in.data() + at + 6, count, static_cast<off_t>(offset)) != static_cast<ssize_t>(count))
            std::abort();
        at += 6 + count;
    }

    std::vector<std::uint8_t> sector0(512);
    if (::pread(file.fd, sector0.data(), sector0.size(), 0) != 512) std::abort();
    if (const auto layout = ParseBootSector(sector0, length)) CheckLayout(*layout, length);
    DWORD error = 0;
    const auto medium = RawVolume::Open(VolumeSource{file.path, 0, std::nullopt}, error);
    Check(medium.has_value());
    const std::vector<TablePartition> partitions = ReadPartitionTable(*medium);
    for (const TablePartition& p : partitions) Check(p.number >= 1 && p.firstSector != 0 && p.sectors != 0);

    PosixPlatform::Options options;
    options.images.push_back(AttachedImage(file.path));
    options.home = file.home;
    options.sysRoot = file.home;
    PosixPlatform platform(options);
    // The drives the image gave: the whole file, or one per partition of its table.
    const bool whole = partitions.empty();
    const std::size_t drives = whole ? 1 : std::min<std::size_t>(partitions.size(), 'Y' - 'D' + 1);
    for (std::size_t i = 0; i < drives; ++i) {
        const std::string root = std::string(1, static_cast<char>('D' + i)) + ":\\";
        Check(platform.GetDriveTypeA(root) == DRIVE_REMOVABLE);
        const std::uint64_t volumeBytes = whole ? length : partitions[i].sectors * 512;
        DWORD perCluster = 0, perSector = 0, freeClusters = 0, clusters = 0;
        if (platform.GetDiskFreeSpaceA(root, perCluster, perSector, freeClusters, clusters)) {
            Check(std::uint64_t{perCluster} * perSector * clusters <= volumeBytes);
            Check(freeClusters <= clusters);
        }
        // What drive selection shows, and the first run a scan would read.
        const std::int32_t total = GetTotalSectors(platform, root);
        if (total > 0) {
            const SectorBuffer run = ReadSectors(platform, root, 0, 0, std::min(total, 64) * 512);
            Check(run.size() == static_cast<std::size_t>(std::min(total, 64)) * 512);
        }
    }
    return 0;
}
