#include "tests/support/photo_runs.h"

#include <algorithm>

namespace kelvara::testing {

std::vector<std::uint8_t> MakePhotoRun(std::size_t length, int seed, bool gif) {
    std::vector<std::uint8_t> bytes;
    const auto filler = [&](std::size_t at) { return static_cast<std::uint8_t>(1 + (at * 7 + static_cast<std::size_t>(seed)) % 200); };
    if (!gif) {
        // A frame of one 16 x 16 component and a scan of it: the walk's picture, however the
        // data that follow decode.
        bytes = {0xFF, 0xD8, 0xFF, 0xC0, 0, 11, 8, 0, 16, 0, 16, 1, 1, 0x11, 0, 0xFF, 0xDA, 0, 8, 1, 1, 0, 0, 63, 0};
        while (bytes.size() + 2 < length) bytes.push_back(filler(bytes.size()));
        bytes.insert(bytes.end(), {0xFF, 0xD9});
        return bytes;
    }
    // A screen without a colour table and one image whose data fill the sub-blocks.
    bytes = {'G', 'I', 'F', '8', '9', 'a', 16, 0, 16, 0, 0, 0, 0, 0x2C, 0, 0, 0, 0, 16, 0, 16, 0, 0, 2};
    std::size_t left = length - bytes.size() - 2;  // sub-blocks, then 00 and 3B
    while (left > 0) {
        std::size_t size = std::min<std::size_t>(255, left - 1);
        if (left - 1 - size == 1) --size;  // no block of nothing but its size byte
        bytes.push_back(static_cast<std::uint8_t>(size));
        for (std::size_t i = 0; i < size; ++i) bytes.push_back(filler(bytes.size()));
        left -= size + 1;
    }
    bytes.insert(bytes.end(), {0x00, 0x3B});
    return bytes;
}

}  // namespace kelvara::testing
