#pragma once
// Whether a file of boxes goes on rightly past a byte where its boxes cannot tell (inside its
// media data): a HEIC's HEVC pictures decoding clean, a clip's video samples each filled exactly
// by NAL units. What judges the joins of such a file's pieces, and a photo lying inside one.

#include <cstdint>
#include <span>

#include "formats/byte_source.h"
#include "formats/format_table.h"

namespace kelvara {

enum class MediaCheck { Holds, Fails, Untold };

// Whether files of `kind` can be checked so at all.
bool MediaCheckable(FileKind kind);
// Checks the file of `kind` in `bytes` past the first of `joins`: where its pieces start after
// joins its boxes could not tell (or where a photo lies inside it), in order.
MediaCheck CheckMediaData(FileKind kind, ByteSource& bytes, std::span<const std::uint64_t> joins);

}  // namespace kelvara
