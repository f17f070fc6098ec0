#include "formats/maker_note.h"

#include <array>

namespace kelvara::formats {
namespace {

// Tags of one maker: a start and a length in the note's directory, a blob whose value is the
// preview, and a sub-directory that holds the start and length in its place.
struct MakerTags {
    std::string_view make;  // how Make begins
    std::uint16_t start, length, blob;
    std::uint16_t subIfd, subStart, subLength;
};
constexpr std::array<MakerTags, 9> kMakers = {{
    {"OLYMPUS", 0x0088, 0x0089, 0x0081, 0x2020, 0x0101, 0x0102},
    {"OM Digital", 0x0088, 0x0089, 0x0081, 0x2020, 0x0101, 0x0102},
    {"OM SYSTEM", 0x0088, 0x0089, 0x0081, 0x2020, 0x0101, 0x0102},
    {"PENTAX", 0x0004, 0x0003, 0, 0, 0, 0},
    {"RICOH", 0x0004, 0x0003, 0, 0, 0, 0},
    {"Minolta", 0x0088, 0x0089, 0x0081, 0, 0, 0},
    {"KONICA MINOLTA", 0x0088, 0x0089, 0x0081, 0, 0, 0},
    {"SONY", 0, 0, 0x2001, 0, 0, 0},
    {"CASIO", 0, 0, 0x2000, 0, 0, 0},
}};
constexpr MakerTags kNikon = {"NIKON", 0, 0, 0, 0x0011, 0x0201, 0x0202};

bool BeginsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

const MakerTags* TagsOf(std::string_view make) {
    if (BeginsWith(make, kNikon.make)) return &kNikon;
    for (const MakerTags& maker : kMakers)
        if (BeginsWith(make, maker.make)) return &maker;
    return nullptr;
}

// Where the note's directory lies and what its offsets count from, by the header it starts with.
struct NoteLayout {
    std::uint64_t ifd;   // from the source's first byte
    TiffHeader offsets;  // base and byte order of the offsets inside the note
};
std::optional<NoteLayout> LayoutOf(std::span<const std::uint8_t> head, const TiffHeader& tiff, std::uint64_t noteAt) {
    const auto own = [&](std::size_t orderAt) -> std::optional<bool> {
        if (Spells(head, orderAt, "II")) return true;
        if (Spells(head, orderAt, "MM")) return false;
        return std::nullopt;
    };
    TiffHeader inNote{noteAt, tiff.little, 0};
    if (Spells(head, 0, std::string_view("Nikon\0", 6))) {  // a TIFF of its own after ten bytes
        const auto inner = ParseTiffHeader(head.subspan(10), noteAt + 10);
        if (!inner) return std::nullopt;
        return NoteLayout{inner->base + inner->firstIfd, *inner};
    }
    if (Spells(head, 0, std::string_view("OLYMPUS\0", 8)) || Spells(head, 0, "OM SYSTEM")) {
        const std::size_t order = head[0] == 'O' && head[1] == 'L' ? 8 : 12;
        const auto little = own(order);
        if (!little) return std::nullopt;
        inNote.little = *little;
        return NoteLayout{noteAt + order + 4, inNote};
    }
    if (Spells(head, 0, std::string_view("OLYMP\0", 6))) return NoteLayout{noteAt + 8, tiff};
    if (Spells(head, 0, std::string_view("AOC\0", 4))) {
        inNote.little = own(4).value_or(tiff.little);
        return NoteLayout{noteAt + 6, inNote};
    }
    if (Spells(head, 0, "SONY DSC ") || Spells(head, 0, "SONY CAM ") || Spells(head, 0, "SONY MOBILE"))
        return NoteLayout{noteAt + 12, tiff};
    if (Spells(head, 0, std::string_view("QVC\0", 4))) return NoteLayout{noteAt + 6, tiff};
    return NoteLayout{noteAt, tiff};  // a plain directory (Minolta, older Pentax)
}

// The preview at `start` from either base the makers use (the TIFF's, or the note's own).
PreviewPlaces Places(const TiffHeader& tiff, const TiffHeader& note, std::uint64_t start, std::uint64_t length) {
    PreviewPlaces places;
    if (length < 4) return places;
    std::size_t i = 0;
    for (const std::uint64_t base : {tiff.base, note.base}) {
        const auto at = Add(base, start);
        if (at && Add(*at, length)) places[i++] = ByteRange{*at, length};
    }
    return places;
}

}  // namespace

std::optional<ByteRange> PreviewAt(ByteSource& bytes, const PreviewPlaces& places) {
    for (const auto& place : places)
        if (place && JpegStartsAt(bytes, place->offset) && Holds(bytes, place->End())) return place;
    return std::nullopt;
}

bool JpegStartsAt(ByteSource& bytes, std::uint64_t offset) {
    std::array<std::uint8_t, 3> start{};
    return ReadAt(bytes, offset, start) && start[0] == 0xFF && start[1] == 0xD8 && start[2] == 0xFF;
}

std::optional<ByteRange> MakerNotePreviewOf(ByteSource& bytes, const TiffHeader& tiff, std::string_view make,
                                            std::uint64_t noteAt, std::uint64_t noteBytes) {
    return PreviewAt(bytes, MakerNotePreviewPlaces(bytes, tiff, make, noteAt, noteBytes));
}

PreviewPlaces MakerNotePreviewPlaces(ByteSource& bytes, const TiffHeader& tiff, std::string_view make,
                                     std::uint64_t noteAt, std::uint64_t noteBytes) {
    const MakerTags* maker = TagsOf(make);
    std::array<std::uint8_t, 18> head{};
    if (!maker || noteBytes < head.size() || !ReadAt(bytes, noteAt, head)) return {};
    const auto layout = LayoutOf(head, tiff, noteAt);
    if (!layout || layout->ifd < layout->offsets.base) return {};

    ReadRanges claimed;
    std::optional<std::uint64_t> start, length, sub;
    std::optional<ByteRange> blob;
    const auto visit = [&](const TiffEntry& entry) {
        if (entry.tag == 0) return;
        if (entry.tag == maker->start) start = entry.Number();
        if (entry.tag == maker->length) length = entry.Number();
        if (entry.tag == maker->subIfd) {
            if (entry.Inline()) sub = entry.Number();
            else sub = entry.Offset();  // some write the sub-directory as a blob
        }
        if (entry.tag == maker->blob && !entry.Inline()) blob = ByteRange{entry.Offset(), entry.valueBytes};
    };
    if (!ReadDirectory(bytes, layout->offsets, layout->ifd - layout->offsets.base, claimed, visit)) return {};
    if (start && length) return Places(tiff, layout->offsets, *start, *length);
    if (blob) return Places(tiff, layout->offsets, blob->offset, blob->length);
    if (!sub) return {};
    start.reset(), length.reset();
    const auto visitSub = [&](const TiffEntry& entry) {
        if (entry.tag == maker->subStart) start = entry.Number();
        if (entry.tag == maker->subLength) length = entry.Number();
    };
    if (!ReadDirectory(bytes, layout->offsets, *sub, claimed, visitSub) || !start || !length) return {};
    return Places(tiff, layout->offsets, *start, *length);
}

}  // namespace kelvara::formats
