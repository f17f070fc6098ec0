#include "formats/exif_block.h"

namespace kelvara::formats {

std::optional<ExifFacts> ReadExifBlock(ByteSource& bytes, std::uint64_t tiffAt) {
    std::array<std::uint8_t, 8> first{};
    if (!ReadAt(bytes, tiffAt, first)) return std::nullopt;
    const auto header = ParseTiffHeader(first, tiffAt);
    if (!header) return std::nullopt;
    ExifFacts facts;
    facts.header = *header;
    ReadRanges claimed;
    std::optional<std::uint32_t> exifIfd;
    const auto inFirst = [&](const TiffEntry& entry) {
        if (entry.tag == kMake) facts.makeLength = EntryText(bytes, *header, entry, facts.make);
        if (entry.tag == kExifIfd) exifIfd = entry.Number();
    };
    if (!ReadDirectory(bytes, *header, header->firstIfd, claimed, inFirst) || !exifIfd) return facts;
    const auto inExif = [&](const TiffEntry& entry) {
        if (entry.tag == kMakerNote && !entry.Inline()) facts.note = ByteRange{header->base + entry.Offset(), entry.valueBytes};
        if (entry.tag == kDateTimeOriginal || entry.tag == kDateTimeDigitized) {
            std::array<char, 20> text{};
            const auto date = ParseExifDate(std::span(text).first(EntryText(bytes, *header, entry, text)));
            (entry.tag == kDateTimeOriginal ? facts.original : facts.digitized) = date;
        }
    };
    ReadDirectory(bytes, *header, *exifIfd, claimed, inExif);
    return facts;
}

}  // namespace kelvara::formats
