#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "platform/platform.h"

namespace kelvara {

// The drive's size in 512-byte sectors counted from sector 0 of its volume: the whole volume,
// whatever its own sector size, so that nothing at its end goes unread. On the NT family the
// volume's length as the system reports it for \\.\X: (a partition's, or the whole card's or
// image's); on the 9x family, which has no such request, the length its boot sector gives. Where
// neither can be had, sectors per cluster times total clusters in the volume's own sector size
// (only the data area). nullopt when the platform cannot tell the drive's size.
std::optional<std::int64_t> GetVolumeSectors(Platform& platform, const std::string& root);

// The same as the count the window shows: -1 when the size is unknown. 64-bit, so a card of
// 2^31 sectors or more (over 1 TiB) is counted whole.
std::int64_t GetTotalSectors(Platform& platform, const std::string& root);

// The 512-byte sectors the FAT or exFAT file system in sector 0 of the drive spans, by its boot
// sector (its total sectors in its own sector size); nullopt when sector 0 holds none.
std::optional<std::int64_t> FileSystemSectors(Platform& platform, const std::string& root);

// For a drive of `sectors` sectors that ends before its file system does (an image cut short,
// or made by an older Kelvara that left the card's last sectors out), what to tell the user: it
// is read to its end all the same. nullopt when it holds its whole file system.
std::optional<std::string> ShortVolumeNote(Platform& platform, const std::string& root, std::int64_t sectors);

}  // namespace kelvara
