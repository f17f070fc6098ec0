#pragma once
// Free clusters of a FAT or exFAT volume, counted the way a file system driver would: from the
// first FAT, or from the exFAT allocation bitmap.

#include <cstdint>
#include <optional>

#include "platform/posix/boot_sector.h"
#include "platform/posix/raw_volume.h"

namespace kelvara {

// nullopt when the FAT cannot be read. For exFAT a bitmap that cannot be found counts as no
// free clusters, as the volume then cannot be written anyway.
std::optional<std::uint32_t> CountFreeClusters(const VolumeLayout& layout, const RawVolume& volume);

}  // namespace kelvara
