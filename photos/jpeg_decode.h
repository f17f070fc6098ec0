#pragma once
// Decoding a JPEG to see whether its pieces join: the entropy-coded data must decode on without
// a fault across the join, and the picture must go on across it (the rows either side alike,
// where a wrong piece gives blocks of another picture, or of none). Decoded at an eighth of its
// size, in grey: every coefficient is still read, and a block's mean is what a wrong join shifts.

#include <cstdint>
#include <optional>

#include "formats/byte_source.h"

namespace kelvara {

struct JpegDecode {
    // A decoder was there and the JPEG is sequential, decoded row by row (a progressive one's rows
    // come only once all its scans are read, so no join of one can be judged).
    bool judged = false;
    // Decoded as far as asked without a fault (corrupt data, a marker out of place, the bytes
    // ending before the picture's last row).
    bool clean = false;
    // Where the first fault showed: the bytes the decoder had read then.
    std::optional<std::uint64_t> fault;
    // The rows either side of the join alike (true where no join was asked about).
    bool alike = true;
};

// Decodes the JPEG in `bytes` up to its first fault or its end. With `join` (where a piece of it
// ends and the next begins), stops a few block rows past the join unless `toTheEnd`.
JpegDecode DecodeJpeg(ByteSource& bytes, std::optional<std::uint64_t> join, bool toTheEnd);

}  // namespace kelvara
