#pragma once
// An EXIF block, as JPEG's APP1 segment and HEIF's Exif item hold it: a TIFF structure whose
// first directory names the camera and points at the EXIF directory (the dates, the maker note).

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "formats/tiff_directory.h"

namespace kelvara::formats {

struct ExifFacts {
    TiffHeader header;
    std::array<char, 64> make{};
    std::size_t makeLength = 0;
    std::optional<ByteRange> note;  // the maker note's value, from the source's first byte
    std::optional<PhotoTime> original, digitized;

    std::string_view Make() const { return {make.data(), makeLength}; }
    std::optional<PhotoTime> Date() const { return original ? original : digitized; }
};

// The block whose TIFF header lies at `tiffAt`; nullopt when there is no TIFF header there.
std::optional<ExifFacts> ReadExifBlock(ByteSource& bytes, std::uint64_t tiffAt);

}  // namespace kelvara::formats
