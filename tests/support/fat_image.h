#pragma once
// Real FAT and exFAT volume images for tests, made and inspected with the system's own tools
// (mkfs.vfat, mkfs.exfat, mtools, dump.exfat), so the code under test is checked against an
// independent reading of the same bytes. Failures of a tool throw std::runtime_error with its output.

#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace kelvara::testing {

using Bytes = std::vector<std::uint8_t>;

// A file of `sectors` 512-byte sectors formatted as FAT12, FAT16 or FAT32 (fatBits 0: as
// mkfs.vfat chooses); sectorsPerCluster 0 leaves the choice to mkfs.vfat. FAT32 needs at least
// 65,525 clusters (about 66,600 sectors at one sector per cluster). A volume of the sectors of a
// 4096-byte disk counts its own in that size (bytesPerSector).
void MakeFatImage(const std::string& path, int fatBits, std::int64_t sectors, int sectorsPerCluster = 0,
                  int bytesPerSector = 512);

// A file of `sectors` sectors formatted as exFAT; false when mkfs.exfat is not installed.
bool MakeExfatImage(const std::string& path, std::int64_t sectors);

// An image with an MBR partition table, each partition (first sector, sector count) formatted
// as FAT (fatBits 0: as mkfs.vfat chooses for its size) with its hidden-sector count set.
void MakeMbrImage(const std::string& path, std::int64_t totalSectors,
                  const std::vector<std::pair<std::int64_t, std::int64_t>>& partitions, int fatBits = 0);

void WriteBytesAt(const std::string& path, std::int64_t byteOffset, std::span<const std::uint8_t> bytes);
std::vector<std::uint8_t> ReadBytesAt(const std::string& path, std::int64_t byteOffset, std::size_t length);

// Puts a host file into a FAT image at an mtools path such as "::/DCIM/100CANON/IMG_0001.JPG",
// making the folders on the way and overwriting a file already there.
void CopyIntoImage(const std::string& image, const std::string& hostFile, const std::string& imagePath);
// Deletes a file, or a folder with everything in it, from a FAT image.
void DeleteFromImage(const std::string& image, const std::string& imagePath);

// A file written into an exFAT image by hand, where no tool of the system writes one without
// mounting it: its entry set (checksum, name hash), its bytes in the clusters given, its chain
// in the table unless it says it lies in one run, and its clusters in the bitmap unless deleted
// (deleting clears the in-use bits and the bitmap, and leaves the chain). A folder (`folder`)
// takes one zeroed cluster. `parent` is the first cluster of the folder holding it; 0 the root.
struct ExfatFile {
    std::u16string name;
    Bytes bytes;
    std::vector<std::uint32_t> clusters;
    bool contiguous = false;
    bool deleted = false;
    bool folder = false;
    std::uint32_t parent = 0;
    std::uint32_t modified = 0;   // a FAT timestamp: date in the high half, time in the low
    std::uint8_t utcOffset = 0;   // 0x80 and the quarter hours east of UTC, or 0 for local time
};
void WriteExfatFile(const std::string& image, const ExfatFile& file);

struct FatGeometry {
    int sectorsPerCluster = 0;
    std::int64_t totalClusters = 0;    // clusters of the data area
    std::int64_t dataStartSector = 0;  // sector of cluster 2
    std::int64_t freeClusters = 0;
};
// From minfo (layout) and mdir (free bytes).
FatGeometry ReadGeometryWithMinfo(const std::string& image);
// From dump.exfat.
FatGeometry ReadExfatGeometry(const std::string& image);

bool RunningAsRoot();

}  // namespace kelvara::testing
