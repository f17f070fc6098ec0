#pragma once
// Decoding a JPEG to see whether its pieces join: the entropy-coded data must decode on without
// a fault across the join, and the picture must go on across it (the rows either side alike,
// where a wrong piece gives blocks of another picture, or of none). Decoded at half its size, in
// grey: every coefficient is still read, and a block row is rows enough to see how much the
// picture's own rows differ.

#include <cstdint>
#include <optional>

#include "formats/byte_source.h"

namespace kelvara {

struct JpegDecode {
    // A decoder was there and the JPEG is sequential, decoded row by row (a progressive one's rows
    // come only once all its scans are read, so no join of one can be judged).
    bool judged = false;
    // Decoded as far as asked with neither a fault nor a jump.
    bool clean = false;
    // Where the first fault showed (corrupt data, a marker out of place, the bytes ending before
    // the picture's last row): the bytes the decoder had read then.
    std::optional<std::uint64_t> fault;
    // Where the picture first stops going on from the rows above it (data of another picture, or
    // of none, that decode without a fault): the bytes read by the block row that shows it.
    std::optional<std::uint64_t> jump;
};

// Decodes the JPEG in `bytes` up to its first fault or its end; with `stopAfter`, only until the
// decoder has read past that many bytes and a few block rows more.
JpegDecode DecodeJpeg(ByteSource& bytes, std::optional<std::uint64_t> stopAfter = std::nullopt);

}  // namespace kelvara
