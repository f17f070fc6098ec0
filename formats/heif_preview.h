#pragma once
// A HEIC or AVIF photo as a JPEG the browser engine can show. Built with libheif and
// libturbojpeg where CMake finds them; elsewhere the same function says there is no decoder.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace kelvara::formats {

struct HeifPreview {
    std::vector<std::uint8_t> jpeg;  // empty when it could not be made
    std::string error;               // why, for the user
};

// The photo's picture scaled to fit `longestSide` pixels (never enlarged): a thumbnail the
// file carries when it is at least that large, else the primary image, up to a size whose
// decoding stays within the program's memory.
HeifPreview HeifToJpeg(std::span<const std::uint8_t> file, int longestSide);

}  // namespace kelvara::formats
