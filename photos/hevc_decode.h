#pragma once
// Decoding a HEIF photo's HEVC pictures to see whether its pieces join. Its boxes say nothing of
// where a piece of its media data ends, so any join that keeps their sizes holds as a structure;
// the coded data do not: data of another file, or the right data a cluster off, leave a slice
// ending early or late, a substream unterminated, a block outside the picture.

#include <cstdint>

#include "formats/byte_source.h"

namespace kelvara {

enum class HevcDecode {
    Clean,     // every HEVC picture whose data reach past the byte asked for decoded without a fault
    Faulty,    // one did not
    Unjudged,  // no decoder is built in, or the file holds no HEVC picture there
};

// Decodes the HEVC pictures of the HEIF file in `bytes` whose data reach past byte `from`.
HevcDecode DecodeHevcPictures(ByteSource& bytes, std::uint64_t from);

}  // namespace kelvara
