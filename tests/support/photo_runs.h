#pragma once
// Photo-like runs of bytes, made without a picture library, so the tests that run under Wine
// have them too.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kelvara::testing {

// A photo-like run of `length` bytes (at least 32) for tests that need no real picture: the
// kind's signature, the least of a structure (a JPEG's frame and scan headers, a GIF's screen and
// image in sub-blocks), bytes from 1 to 200 that tell where they lie and never form a marker,
// and the kind's end marker (FF D9, or 00 3B for a GIF).
std::vector<std::uint8_t> MakePhotoRun(std::size_t length, int seed, bool gif = false);

}  // namespace kelvara::testing
