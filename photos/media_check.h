#pragma once
// Whether a file goes on rightly past a byte where its structure cannot tell (inside its media
// data): a HEIC's HEVC pictures decoding clean, a clip's video samples each filled exactly by NAL
// units, a TIFF's or RAW file's JPEG-coded strips and tiles each starting FF D8. What judges the
// joins of such a file's pieces, and a photo lying inside one.

#include <cstdint>
#include <span>

#include "formats/byte_source.h"
#include "formats/format_table.h"

namespace kelvara {

enum class MediaCheck { Holds, Fails, Untold };

// Whether files of `kind` can be checked so at all: a HEIC, a clip, a TIFF or RAW file whose
// strips or tiles are JPEG-coded.
bool MediaCheckable(FileKind kind);
// Whether a file of `kind` whose first `kept` bytes `bytes` holds can be checked past them.
bool MediaCheckablePast(FileKind kind, ByteSource& bytes, std::uint64_t kept);
// Checks the file of `kind` in `bytes` past the first of `joins`: where its pieces start after
// joins its boxes could not tell (or where a photo lies inside it), in order.
MediaCheck CheckMediaData(FileKind kind, ByteSource& bytes, std::span<const std::uint64_t> joins);

}  // namespace kelvara
