#pragma once
// Where a photo ends by its own structure, in bytes from its first byte: a JPEG walked by its
// segments and scans to its end of image (and past the further images its Multi-Picture index
// declares), a GIF89a by its blocks to its trailer. nullopt when the structure leads to no end:
// a damaged or overwritten photo, or a signature that was only chance.

#include <cstdint>
#include <optional>

#include "photos/byte_source.h"
#include "scan/found_photo.h"

namespace kelvara {

std::optional<std::uint64_t> JpegLength(ByteSource& bytes);
std::optional<std::uint64_t> GifLength(ByteSource& bytes);

inline std::optional<std::uint64_t> StructuralLength(PhotoKind kind, ByteSource& bytes) {
    return kind == PhotoKind::Gif ? GifLength(bytes) : JpegLength(bytes);
}

}  // namespace kelvara
