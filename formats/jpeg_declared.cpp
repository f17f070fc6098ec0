// What a JPEG's own metadata declares part of it after its end of image. Cameras and phones
// keep more than the picture there: a maker note's preview (its EXIF maker note gives the
// offset and length), a motion photo's video (the XMP gives its length: Google's MicroVideo
// offset, or a Container directory of items), or a phone maker's trailer whose own directory
// closes the file. Each is taken only when it lies there whole and starts as it says (a maker
// note's preview whatever its first byte).

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>
#include <vector>

#include "formats/byte_reader.h"
#include "formats/exif_block.h"
#include "formats/format_walkers.h"
#include "formats/maker_note.h"
#include "formats/tiff_directory.h"

namespace kelvara::formats::jpeg {
namespace {

constexpr std::string_view kExif("Exif\0\0", 6);
constexpr std::string_view kXmp("http://ns.adobe.com/xap/1.0/\0", 29);
// A declared extra may sit after alignment padding, never further: what lies further is not it.
constexpr std::uint64_t kLargestGap = 64 * 1024;

bool SegmentStartsWith(ByteSource& bytes, const Segment& segment, std::string_view text) {
    std::array<std::uint8_t, 32> head{};
    return segment.marker == 0xE1 && segment.length >= text.size() &&
           ReadAt(bytes, segment.offset, std::span(head).first(text.size())) && Spells(head, 0, text);
}

const Segment* FirstApp1(ByteSource& bytes, std::span<const Segment> segments, std::string_view text) {
    for (const Segment& segment : segments)
        if (SegmentStartsWith(bytes, segment, text)) return &segment;
    return nullptr;
}

std::optional<ExifFacts> ReadExif(ByteSource& bytes, std::span<const Segment> segments) {
    const Segment* exif = FirstApp1(bytes, segments, kExif);
    if (!exif || exif->length < kExif.size() + 8) return std::nullopt;
    return ReadExifBlock(bytes, exif->offset + kExif.size());
}

// An XMP packet's values by property name, whatever its namespace prefix, as attributes
// (Name="value") or elements (<p:Name>value<).
class XmpText {
public:
    explicit XmpText(std::string_view text) : text_(text) {}

    std::optional<std::string_view> Value(std::string_view name, std::size_t from = 0, std::size_t to = std::string_view::npos) const {
        const std::string_view within = text_.substr(0, std::min(to, text_.size()));
        for (std::size_t at = within.find(name, from); at != std::string_view::npos; at = within.find(name, at + 1)) {
            if (at == 0 || (within[at - 1] != ':' && within[at - 1] != ' ')) continue;
            std::size_t value = at + name.size();
            if (within.substr(value, 2) == "=\"") {
                const std::size_t close = within.find('"', value + 2);
                if (close != std::string_view::npos) return within.substr(value + 2, close - value - 2);
            } else if (within.substr(value, 1) == ">") {
                const std::size_t close = within.find('<', value + 1);
                if (close != std::string_view::npos) return within.substr(value + 1, close - value - 1);
            }
        }
        return std::nullopt;
    }
    std::optional<std::uint64_t> Number(std::string_view name, std::size_t from = 0,
                                        std::size_t to = std::string_view::npos) const {
        const auto value = Value(name, from, to);
        if (!value || value->empty() || value->size() > 15) return std::nullopt;
        std::uint64_t number = 0;
        for (const char c : *value) {
            if (c < '0' || c > '9') return std::nullopt;
            number = number * 10 + static_cast<std::uint64_t>(c - '0');
        }
        return number;
    }
    std::string_view text() const { return text_; }

private:
    std::string_view text_;
};

bool ClipStartsAt(ByteSource& bytes, std::uint64_t at) {
    std::array<std::uint8_t, 8> head{};
    return ReadAt(bytes, at, head) && Spells(head, 4, "ftyp");
}

// The length of the ISO media file at `at`, as its own boxes say.
std::optional<std::uint64_t> ClipLength(ByteSource& bytes, std::uint64_t at) {
    ShiftedBytes clip(bytes, at);
    return iso_media::Length(clip);
}

// Google's first motion photos: the video is the file's last MicroVideoOffset bytes, an MP4
// right after the image.
std::optional<std::uint64_t> MicroVideoEnd(ByteSource& bytes, std::uint64_t length, std::uint64_t imageEnd) {
    if (!ClipStartsAt(bytes, imageEnd)) return std::nullopt;
    if (ClipLength(bytes, imageEnd) != length) return std::nullopt;
    return imageEnd + length;
}

// The items of a Container directory as its XMP lists them, the primary image first; nothing
// when one has no type.
std::vector<Declared::Item> ContainerItems(const XmpText& xmp) {
    const std::string_view text = xmp.text();
    constexpr std::string_view kItem = "<Container:Item";
    std::vector<Declared::Item> items;
    for (std::size_t item = text.find(kItem); item != std::string_view::npos;) {
        const std::size_t next = text.find(kItem, item + kItem.size());
        const auto mime = xmp.Value("Mime", item, next);
        if (!mime) return {};
        items.push_back({*mime == "image/jpeg"   ? Declared::Item::Type::Jpeg
                         : mime->substr(0, 6) == "video/" ? Declared::Item::Type::Video
                                                          : Declared::Item::Type::Other,
                         xmp.Number("Length", item, next).value_or(0), xmp.Number("Padding", item, next).value_or(0)});
        item = next;
    }
    return items;
}

// A Container directory: the primary image (its padding after it), then each further item's
// length, in file order. Each further item must start with its own signature where the sum puts it.
std::optional<std::uint64_t> ContainerEnd(ByteSource& bytes, std::span<const Declared::Item> items, std::uint64_t imageEnd) {
    std::uint64_t at = imageEnd;
    bool primary = true, any = false;
    for (const Declared::Item& item : items) {
        if (!primary) {
            if (item.type == Declared::Item::Type::Jpeg ? !JpegStartsAt(bytes, at)
                                                        : item.type == Declared::Item::Type::Video && !ClipStartsAt(bytes, at))
                return std::nullopt;
            const auto end = Add(at, item.length);
            if (!end || item.length == 0) return std::nullopt;
            at = *end;
            any = true;
        }
        const auto padded = Add(at, item.padding);
        if (!padded) return std::nullopt;
        at = *padded;
        primary = false;
    }
    if (!any || !Holds(bytes, at)) return std::nullopt;
    return at;
}

// Samsung's trailer: blocks after the image (the motion photo's MP4 among them, after its name
// "MotionPhoto_Data"), closed by a directory "SEFH" ... size "SEFT" that lists every block by
// its distance back from the directory.
std::optional<std::uint64_t> SamsungTrailerEnd(ByteSource& bytes, std::uint64_t imageEnd) {
    constexpr std::string_view kVideo = "MotionPhoto_Data";
    // Where `text` starts in [from, from + within), reading nothing past it.
    const auto find = [&](std::string_view text, std::uint64_t from, std::uint64_t within) -> std::optional<std::uint64_t> {
        const auto first = static_cast<std::uint8_t>(text[0]);
        for (std::uint64_t at = from; at < from + within;) {
            const auto piece = bytes.From(at);
            if (piece.empty()) return std::nullopt;
            const auto look = piece.first(static_cast<std::size_t>(std::min<std::uint64_t>(piece.size(), from + within - at)));
            const void* hit = std::memchr(look.data(), first, look.size());
            if (!hit) {
                at += look.size();
                continue;
            }
            const std::uint64_t candidate = at + static_cast<std::uint64_t>(static_cast<const std::uint8_t*>(hit) - look.data());
            std::array<std::uint8_t, 16> here{};
            if (ReadAt(bytes, candidate, std::span(here).first(text.size())) && Spells(here, 0, text)) return candidate;
            at = candidate + 1;
        }
        return std::nullopt;
    };
    const auto name = find(kVideo, imageEnd, kLargestGap);
    if (!name || !ClipStartsAt(bytes, *name + kVideo.size())) return std::nullopt;
    const auto clip = ClipLength(bytes, *name + kVideo.size());
    if (!clip) return std::nullopt;
    const auto directory = find("SEFH", *name + kVideo.size() + *clip, kLargestGap);
    std::array<std::uint8_t, 12> head{};
    if (!directory || !ReadAt(bytes, *directory, head)) return std::nullopt;
    const std::uint32_t entries = LoadLe32(head, 8);
    if (entries == 0 || entries > 1024) return std::nullopt;
    // Each entry: two bytes, a type, the block's distance back from the directory, its length.
    std::uint64_t earliest = *directory;
    for (std::uint32_t i = 0; i < entries; ++i) {
        std::array<std::uint8_t, 12> entry{};
        if (!ReadAt(bytes, *directory + 12 + 12 * std::uint64_t{i}, entry)) return std::nullopt;
        const std::uint32_t back = LoadLe32(entry, 4);
        if (back > *directory - imageEnd) return std::nullopt;
        earliest = std::min(earliest, *directory - back);
    }
    const std::uint64_t closing = *directory + 12 + 12 * std::uint64_t{entries};
    std::array<std::uint8_t, 8> tail{};
    if (!ReadAt(bytes, closing, tail) || LoadLe32(tail, 0) != closing - *directory || !Spells(tail, 4, "SEFT") ||
        earliest > *name)
        return std::nullopt;
    return closing + 8;
}

// The first place that lies whole where a JPEG's signature starts, whatever its first byte: some
// cameras (Konica Minolta's DiMAGE) write the preview after the image starting 02 D8 FF, and its
// bytes are the file's all the same. The rest of the signature must be there.
std::optional<ByteRange> DeclaredPreviewAt(ByteSource& bytes, const PreviewPlaces& places) {
    for (const auto& place : places) {
        std::array<std::uint8_t, 3> start{};
        if (place && ReadAt(bytes, place->offset, start) && start[1] == 0xD8 && start[2] == 0xFF &&
            Holds(bytes, place->End()))
            return place;
    }
    return std::nullopt;
}

std::optional<std::uint64_t> MotionPhotoEnd(ByteSource& bytes, std::uint64_t imageEnd, const Declared& declared) {
    if (const auto end = ContainerEnd(bytes, declared.container, imageEnd)) return end;
    if (declared.microVideo)
        if (const auto end = MicroVideoEnd(bytes, *declared.microVideo, imageEnd)) return end;
    return SamsungTrailerEnd(bytes, imageEnd);
}

}  // namespace

void ReadDeclared(ByteSource& bytes, const Segment& segment, Declared& declared) {
    if (!declared.exifRead && SegmentStartsWith(bytes, segment, kExif)) {
        declared.exifRead = true;
        if (segment.length < kExif.size() + 8) return;
        const auto exif = ReadExifBlock(bytes, segment.offset + kExif.size());
        if (exif && exif->note)
            declared.previewPlaces = MakerNotePreviewPlaces(bytes, exif->header, exif->Make(), exif->note->offset, exif->note->length);
    } else if (!declared.xmpRead && SegmentStartsWith(bytes, segment, kXmp)) {
        declared.xmpRead = true;
        std::vector<std::uint8_t> raw(segment.length - kXmp.size());  // at most 64 KiB: one segment
        if (!ReadAt(bytes, segment.offset + kXmp.size(), raw)) return;
        const XmpText xmp({reinterpret_cast<const char*>(raw.data()), raw.size()});
        declared.container = ContainerItems(xmp);
        if (xmp.Value("MicroVideo") != "0") declared.microVideo = xmp.Number("MicroVideoOffset");
    }
}

void ForEachAppSegment(ByteSource& bytes, const std::function<bool(const Segment&)>& use) {
    std::array<std::uint8_t, 4> field{};
    if (!ReadAt(bytes, 0, std::span(field).first(2)) || field[0] != 0xFF || field[1] != 0xD8) return;
    for (std::uint64_t at = 2;;) {
        if (!ReadAt(bytes, at, field) || field[0] != 0xFF) return;
        if (field[1] == 0xFF) {  // a fill byte before the marker
            ++at;
            continue;
        }
        const std::uint8_t code = field[1];
        const std::uint16_t length = LoadBe16(field, 2);
        // Only marker segments with a length come before the first scan.
        if (code == 0xDA || code == 0xD9 || code < 0xC0 || (code >= 0xD0 && code <= 0xD8) || length < 2) return;
        if (code >= 0xE0 && code <= 0xEF && !use(Segment{code, at + 4, static_cast<std::uint32_t>(length - 2)})) return;
        at += 2 + length;
    }
}

std::optional<ByteRange> MakerNotePreview(ByteSource& bytes, std::span<const Segment> appSegments) {
    const auto exif = ReadExif(bytes, appSegments);
    if (!exif || !exif->note) return std::nullopt;
    return MakerNotePreviewOf(bytes, exif->header, exif->Make(), exif->note->offset, exif->note->length);
}

std::uint64_t DeclaredEnd(ByteSource& bytes, std::uint64_t imageEnd, const Declared& declared) {
    std::uint64_t end = imageEnd;
    // Only a place just after the image is looked at: nothing far off is read.
    PreviewPlaces after;
    for (std::size_t i = 0; i < after.size(); ++i) {
        const auto& place = declared.previewPlaces[i];
        if (place && place->offset >= imageEnd && place->offset - imageEnd <= kLargestGap) after[i] = place;
    }
    if (const auto preview = DeclaredPreviewAt(bytes, after)) end = preview->End();
    if (const auto motion = MotionPhotoEnd(bytes, end, declared)) end = *motion;
    return end;
}

std::uint64_t DeclaredEnd(ByteSource& bytes, std::uint64_t imageEnd, std::span<const Segment> appSegments) {
    Declared declared;
    for (const Segment& segment : appSegments) ReadDeclared(bytes, segment, declared);
    return DeclaredEnd(bytes, imageEnd, declared);
}

std::optional<PhotoTime> DateTimeOriginal(ByteSource& bytes, std::span<const Segment> appSegments) {
    const auto exif = ReadExif(bytes, appSegments);
    if (!exif) return std::nullopt;
    return exif->Date();
}

}  // namespace kelvara::formats::jpeg
