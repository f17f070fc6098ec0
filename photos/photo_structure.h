#pragma once
// Where a photo ends by its own structure, in bytes from its first byte: a JPEG walked by its
// segments and scans to its end of image (and over the further images its Multi-Picture index
// declares), a GIF89a by its blocks to its trailer. A walk reads each byte at most a few times
// and only as far as the structure leads, so its time follows the bytes it covers.

#include <cstdint>
#include <optional>

#include "photos/byte_source.h"
#include "scan/found_photo.h"

namespace kelvara {

struct Walk {
    // Where the structure ends; nullopt when it breaks off or leads nowhere: a damaged or
    // overwritten photo, one whose rest lies elsewhere, or a signature that was only chance.
    std::optional<std::uint64_t> end;
    // The bytes before this held together: the end of a whole one, where a broken one broke off.
    std::uint64_t reached = 0;
    // Picture data came before the end or the break: a JPEG's frame and scan, a GIF's image.
    bool image = false;
};

Walk WalkJpeg(ByteSource& bytes);
Walk WalkGif(ByteSource& bytes);

inline Walk WalkStructure(PhotoKind kind, ByteSource& bytes) {
    return kind == PhotoKind::Gif ? WalkGif(bytes) : WalkJpeg(bytes);
}

// Whether the first `length` bytes of a JPEG whose walk broke off before its picture still hold
// one: a frame header and, after it, a scan header, each well formed (a damaged segment length
// hides them from the walk, not from a decoder). Chance bytes after an FF D8 hold none.
bool JpegHoldsImage(ByteSource& bytes, std::uint64_t length);

inline bool HoldsImage(PhotoKind kind, ByteSource& bytes, std::uint64_t length) {
    return kind == PhotoKind::Gif || JpegHoldsImage(bytes, length);
}

inline std::optional<std::uint64_t> JpegLength(ByteSource& bytes) { return WalkJpeg(bytes).end; }
inline std::optional<std::uint64_t> GifLength(ByteSource& bytes) { return WalkGif(bytes).end; }
inline std::optional<std::uint64_t> StructuralLength(PhotoKind kind, ByteSource& bytes) {
    return WalkStructure(kind, bytes).end;
}

}  // namespace kelvara
