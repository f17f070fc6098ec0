#pragma once
// The preview image a camera's maker note points at. Several makers keep a larger preview than
// the EXIF thumbnail outside the EXIF block: after a JPEG's end of image, or elsewhere in a RAW
// file. Their maker notes say where, each in its own layout; the ones read here are the simple
// ones: a directory with a start and a length (Olympus, OM System, Pentax, Minolta), a blob entry
// (Sony, Casio), or a preview directory (Nikon).

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "formats/tiff_directory.h"

namespace kelvara::formats {

// Where the maker note says its preview lies, in bytes from the source's first byte, counted from
// either base the makers use (the TIFF's, or the note's own): the TIFF structure at `tiff.base`
// holds the maker note's value at `noteAt` (from the source's first byte), `noteBytes` long;
// `make` is the TIFF's Make. Only the note is read: nothing is looked at where the places are.
using PreviewPlaces = std::array<std::optional<ByteRange>, 2>;
PreviewPlaces MakerNotePreviewPlaces(ByteSource& bytes, const TiffHeader& tiff, std::string_view make,
                                     std::uint64_t noteAt, std::uint64_t noteBytes);

// The first of the places where a JPEG (FF D8 FF) starts and lies whole in the source.
std::optional<ByteRange> PreviewAt(ByteSource& bytes, const PreviewPlaces& places);

// The maker note's preview: the first place that holds it. nullopt when the note names none, or
// names one that does not start with a JPEG's FF D8 FF or does not lie whole in the source.
std::optional<ByteRange> MakerNotePreviewOf(ByteSource& bytes, const TiffHeader& tiff, std::string_view make,
                                            std::uint64_t noteAt, std::uint64_t noteBytes);

// Whether a JPEG's signature (FF D8 FF) lies at `offset`.
bool JpegStartsAt(ByteSource& bytes, std::uint64_t offset);

}  // namespace kelvara::formats
