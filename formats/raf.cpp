// Fujifilm RAF: a header that gives the offset and length of each part of the file (the JPEG
// preview, the CFA header, the RAW data), all big-endian. The file ends where its furthest
// part ends.

#include <array>

#include "formats/byte_reader.h"
#include "formats/format.h"
#include "formats/maker_note.h"

namespace kelvara::formats::raf {
namespace {

constexpr std::string_view kMagic = "FUJIFILMCCD-RAW";
constexpr std::size_t kPartsAt = 84, kHeaderBytes = kPartsAt + 3 * 8;

struct Parts {
    ByteRange jpeg, cfaHeader, cfa;
};

std::optional<Parts> ReadParts(ByteSource& bytes) {
    std::array<std::uint8_t, kHeaderBytes> header{};
    if (!ReadAt(bytes, 0, header) || !Spells(header, 0, kMagic)) return std::nullopt;
    const auto part = [&](std::size_t at) { return ByteRange{LoadBe32(header, at), LoadBe32(header, at + 4)}; };
    Parts parts{part(kPartsAt), part(kPartsAt + 8), part(kPartsAt + 16)};
    // Every part lies after the header; the JPEG is one and the RAW data are there.
    for (const ByteRange& range : {parts.jpeg, parts.cfaHeader, parts.cfa})
        if (range.length > 0 && range.offset < kHeaderBytes) return std::nullopt;
    if (parts.jpeg.length == 0 || parts.cfa.length == 0 || !JpegStartsAt(bytes, parts.jpeg.offset)) return std::nullopt;
    return parts;
}

}  // namespace

Extension Identify(Head head) {
    if (head.size() < kHeaderBytes || head[0] != 'F' || head[1] != 'U' || !Spells(head, 0, kMagic)) return std::nullopt;
    return ".RAF";
}

std::optional<std::uint64_t> Length(ByteSource& bytes) {
    const auto parts = ReadParts(bytes);
    if (!parts) return std::nullopt;
    const std::uint64_t end = std::max({parts->jpeg.End(), parts->cfaHeader.End(), parts->cfa.End()});
    return Holds(bytes, end) ? std::optional<std::uint64_t>(end) : std::nullopt;
}

std::optional<ByteRange> LargestPreview(ByteSource& bytes) {
    const auto parts = ReadParts(bytes);
    if (!parts || !Holds(bytes, parts->jpeg.End())) return std::nullopt;
    return parts->jpeg;
}

std::optional<PhotoTime> DateTimeOriginal(ByteSource& bytes) {
    const auto jpeg = LargestPreview(bytes);
    if (!jpeg) return std::nullopt;
    SourceView inside(bytes, jpeg->offset, jpeg->length);
    return jpeg::Date(inside);
}

namespace {

kelvara::Walk Structure(ByteSource& bytes) { return WalkOfLength(Length(bytes)); }

constexpr Signature kSignatures[] = {{0, "FUJIFILM"}};
constexpr Variant kVariants[] = {{".RAF", "raw", Shown::Embedded}};

}  // namespace

const Format kFormat = {"Fujifilm RAF", kSignatures, true, Identify, kVariants, Structure, HeadShowsImage,
                        std::nullopt, LargestPreview, nullptr, DateTimeOriginal};

}  // namespace kelvara::formats::raf
