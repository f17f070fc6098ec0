// ISO base media files (HEIC/HEIF, AVIF, CR3, MP4, MOV, 3GP): a sequence of top-level boxes,
// each a 32-bit size (or 1 and a 64-bit size after the type) and a four-character type. The
// file is its boxes: it ends before the first thing that is no box, or before another file's
// `ftyp`. A box of size 0 runs "to the end of the file", which a card does not tell: such a
// file leads nowhere, as does one without the boxes every whole file of its brand has.

#include <algorithm>
#include <array>
#include <map>
#include <set>
#include <string_view>

#include "formats/byte_reader.h"
#include "formats/exif_block.h"
#include "formats/format.h"
#include "formats/maker_note.h"

namespace kelvara::formats::iso_media {
namespace {

enum class Needs { Meta, Movie };  // HEIF keeps its pictures under meta; clips and CR3 under moov
struct Kind {
    std::string_view extension;
    Needs needs;
};

// The brands that decide on their own, and the generic ones that leave it to the compatible brands.
std::optional<Kind> BrandKind(std::string_view brand) {
    for (const std::string_view heic : {"heic", "heix", "heim", "heis", "hevc", "hevx", "hevm", "hevs"})
        if (brand == heic) return Kind{".HEIC", Needs::Meta};
    if (brand == "avif" || brand == "avis") return Kind{".AVIF", Needs::Meta};
    if (brand == "crx ") return Kind{".CR3", Needs::Movie};
    if (brand == "qt  ") return Kind{".MOV", Needs::Movie};
    if (brand.substr(0, 3) == "3gp" || brand.substr(0, 3) == "3gg") return Kind{".3GP", Needs::Movie};
    if (brand.substr(0, 3) == "3g2") return Kind{".3G2", Needs::Movie};
    return std::nullopt;
}
bool GenericHeif(std::string_view brand) { return brand == "mif1" || brand == "msf1" || brand == "miaf"; }

std::string_view Brand(std::span<const std::uint8_t> box, std::size_t at) {
    return {reinterpret_cast<const char*>(box.data() + at), 4};
}

// The kind an ftyp box names: its major brand when that decides, else the first compatible
// brand that does; a generic HEIF brand is a HEIC, anything else an MP4.
Kind KindOf(std::span<const std::uint8_t> ftyp) {
    const std::string_view major = Brand(ftyp, 8);
    if (const auto kind = BrandKind(major)) return *kind;
    for (std::size_t at = 16; at + 4 <= ftyp.size(); at += 4)
        if (const auto kind = BrandKind(Brand(ftyp, at))) return *kind;
    if (GenericHeif(major)) return {".HEIC", Needs::Meta};
    return {".MP4", Needs::Movie};
}

// The ftyp box of a head: its size is a whole number of brands and it lies in the head.
std::optional<std::span<const std::uint8_t>> FtypBox(std::span<const std::uint8_t> head) {
    if (head.size() < 16 || !Spells(head, 4, "ftyp")) return std::nullopt;
    const std::uint32_t size = LoadBe32(head, 0);
    if (size < 16 || size > head.size() || size % 4 != 0) return std::nullopt;
    return head.first(size);
}

bool TypeCharacter(std::uint8_t c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ' ';
}
// Top-level boxes a file of these brands holds. Others are taken when small: a maker's own
// metadata is, and a large box of unknown type is far more likely other data that happens to
// spell letters.
bool KnownTopLevel(std::string_view type) {
    for (const std::string_view known : {"ftyp", "moov", "mdat", "meta", "free", "skip", "wide", "uuid", "pdin", "moof",
                                         "mfra", "styp", "sidx", "ssix", "prft", "emsg", "pnot", "junk"})
        if (type == known) return true;
    return false;
}
constexpr std::uint64_t kLargestUnknownBox = 1 << 20;

struct Box {
    std::array<char, 4> type{};
    std::uint64_t start = 0, payload = 0, end = 0;
    std::string_view Type() const { return {type.data(), 4}; }
};
enum class BoxRead { Box, NoBox, Broken };

// The box at `at`, which must end by `limit`. NoBox when the bytes there are not a box header
// (the file ended before them), Broken when they are one whose size cannot be (zero, shorter
// than its header, past `limit` or past the source).
BoxRead ReadBox(ByteSource& bytes, std::uint64_t at, std::uint64_t limit, Box& box) {
    std::array<std::uint8_t, 16> header{};
    if (limit - at < 8 || !ReadAt(bytes, at, std::span(header).first(8))) return BoxRead::NoBox;
    for (std::size_t i = 0; i < 4; ++i) {
        if (!TypeCharacter(header[4 + i])) return BoxRead::NoBox;
        box.type[i] = static_cast<char>(header[4 + i]);
    }
    std::uint64_t size = LoadBe32(header, 0), headerSize = 8;
    if (size == 1) {
        if (limit - at < 16 || !ReadAt(bytes, at + 8, std::span(header).subspan(8, 8))) return BoxRead::Broken;
        size = LoadBe64(header, 8);
        headerSize = 16;
    }
    if (size < headerSize || size > limit - at) return BoxRead::Broken;
    box.start = at;
    box.payload = at + headerSize;
    box.end = at + size;
    return Holds(bytes, box.end) ? BoxRead::Box : BoxRead::Broken;
}

constexpr std::uint64_t kNoLimit = ~std::uint64_t{0};

// Calls `use` for each child box of [from, to) until it returns false; false when a child is broken.
template <typename Use>
bool ForEachBox(ByteSource& bytes, std::uint64_t from, std::uint64_t to, Use use) {
    Box box;
    for (std::uint64_t at = from; at < to; at = box.end) {
        if (ReadBox(bytes, at, to, box) != BoxRead::Box) return false;
        if (!use(box)) return true;
    }
    return true;
}

// The first child of `parent` of type `type`.
std::optional<Box> Child(ByteSource& bytes, const Box& parent, std::string_view type, std::uint64_t skip = 0) {
    std::optional<Box> found;
    ForEachBox(bytes, parent.payload + skip, parent.end, [&](const Box& box) {
        if (box.Type() == type) found = box;
        return !found;
    });
    return found;
}

// The movie header's version, and its payload up to the duration.
struct MovieHeader {
    std::uint64_t created = 0, timescale = 0, duration = 0;
};
std::optional<MovieHeader> ReadMovieHeader(ByteSource& bytes, const Box& movie) {
    const auto box = Child(bytes, movie, "mvhd");
    std::array<std::uint8_t, 32> field{};
    if (!box || box->end - box->payload < field.size() || !ReadAt(bytes, box->payload, field)) return std::nullopt;
    if (field[0] == 1) return MovieHeader{LoadBe64(field, 4), LoadBe32(field, 20), LoadBe64(field, 24)};
    return MovieHeader{LoadBe32(field, 4), LoadBe32(field, 12), LoadBe32(field, 16)};
}

// Seconds since 1970-01-01 as a civil date and time (proleptic Gregorian calendar).
PhotoTime CivilFromSeconds(std::int64_t seconds) {
    std::int64_t days = seconds / 86400, rest = seconds % 86400;
    if (rest < 0) rest += 86400, --days;
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t monthIndex = (5 * dayOfYear + 2) / 153;
    const std::int64_t day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
    const std::int64_t month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    const std::int64_t year = yearOfEra + era * 400 + (month <= 2);
    return {static_cast<int>(year), static_cast<int>(month), static_cast<int>(day), static_cast<int>(rest / 3600),
            static_cast<int>(rest / 60 % 60), static_cast<int>(rest % 60), true};
}

// A big-endian number of 0, 4 or 8 bytes (2 for some fields), read in order from a box.
class FieldReader {
public:
    FieldReader(ByteSource& bytes, std::uint64_t at, std::uint64_t end) : bytes_(bytes), at_(at), end_(end) {}
    std::optional<std::uint64_t> Take(std::size_t size) {
        std::array<std::uint8_t, 8> field{};
        if (size > 8 || end_ - at_ < size || !ReadAt(bytes_, at_, std::span(field).first(size))) return std::nullopt;
        at_ += size;
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < size; ++i) value = value << 8 | field[i];
        return value;
    }
    std::uint64_t at() const { return at_; }

private:
    ByteSource& bytes_;
    std::uint64_t at_, end_;
};

// What a HEIF file's meta box says of its items: the furthest byte any item's data reaches in
// the file, and where its Exif item starts.
struct HeifItems {
    std::uint64_t furthest = 0;
    std::optional<std::uint64_t> exif;
};

// Calls `use(id, type)` for each item an item information box names, until it returns false.
template <typename Use>
void ForEachItemType(ByteSource& bytes, const Box& info, Use use) {
    FieldReader header(bytes, info.payload, info.end);
    const auto version = header.Take(1);
    if (!version || !header.Take(3) || !header.Take(*version == 0 ? 2 : 4)) return;
    ForEachBox(bytes, header.at(), info.end, [&](const Box& entry) {
        if (entry.Type() != "infe") return true;
        FieldReader field(bytes, entry.payload, entry.end);
        const auto entryVersion = field.Take(1);
        if (!entryVersion || *entryVersion < 2 || !field.Take(3)) return true;
        const auto item = field.Take(*entryVersion == 2 ? 2 : 4);
        std::array<std::uint8_t, 4> type{};
        if (!item || !field.Take(2) || !ReadAt(bytes, field.at(), type)) return true;
        return use(*item, std::string_view(reinterpret_cast<const char*>(type.data()), type.size()));
    });
}

// The item id of the Exif item in an item information box.
std::optional<std::uint64_t> ExifItemId(ByteSource& bytes, const Box& info) {
    std::optional<std::uint64_t> id;
    ForEachItemType(bytes, info, [&](std::uint64_t item, std::string_view type) {
        if (type == "Exif") id = item;
        return !id;
    });
    return id;
}

// The children of a meta box (a full box: its children follow four bytes of version and flags)
// that say where its items lie and what they are.
struct MetaBoxes {
    std::optional<Box> locations, info, data, properties;
};
std::optional<MetaBoxes> ReadMetaBoxes(ByteSource& bytes, const Box& meta) {
    MetaBoxes boxes;
    if (!ForEachBox(bytes, meta.payload + 4, meta.end, [&](const Box& box) {
            if (box.Type() == "iloc" && !boxes.locations) boxes.locations = box;
            if (box.Type() == "iinf" && !boxes.info) boxes.info = box;
            if (box.Type() == "idat" && !boxes.data) boxes.data = box;
            if (box.Type() == "iprp" && !boxes.properties) boxes.properties = box;
            return true;
        }) ||
        !boxes.locations)
        return std::nullopt;
    return boxes;
}

// Calls `use(id, construction, extent index, range)` for each extent of each item in an item
// location box; false when the box does not hold together.
template <typename Use>
bool ForEachItemExtent(ByteSource& bytes, const Box& locations, Use use) {
    FieldReader field(bytes, locations.payload, locations.end);
    const auto version = field.Take(1);
    if (!version || *version > 2 || !field.Take(3)) return false;
    const std::uint64_t sizes = field.Take(2).value_or(0xFFFF);
    const std::size_t offsetSize = sizes >> 12, lengthSize = sizes >> 8 & 15, baseSize = sizes >> 4 & 15;
    const std::size_t indexSize = *version == 0 ? 0 : sizes & 15;
    for (const std::size_t size : {offsetSize, lengthSize, baseSize, indexSize})
        if (size != 0 && size != 4 && size != 8) return false;
    const auto count = field.Take(*version < 2 ? 2 : 4);
    if (!count) return false;
    for (std::uint64_t i = 0; i < *count; ++i) {
        const auto id = field.Take(*version < 2 ? 2 : 4);
        const auto method = *version == 0 ? std::optional<std::uint64_t>(0) : field.Take(2);
        const auto base = field.Take(2) ? field.Take(baseSize) : std::nullopt;
        const auto extents = field.Take(2);
        if (!id || !method || !base || !extents) return false;
        for (std::uint64_t e = 0; e < *extents; ++e) {
            const auto offset = field.Take(indexSize) ? field.Take(offsetSize) : std::nullopt;
            const auto length = offset ? field.Take(lengthSize) : std::nullopt;
            if (!length) return false;
            const auto start = Add(*base, *offset);
            if (!start || !Add(*start, *length)) return false;
            use(*id, *method & 15, e, ByteRange{*start, *length});
        }
    }
    return true;
}

std::optional<HeifItems> ReadHeifItems(ByteSource& bytes, const Box& meta) {
    const auto boxes = ReadMetaBoxes(bytes, meta);
    if (!boxes) return std::nullopt;
    const std::optional<std::uint64_t> exifId = boxes->info ? ExifItemId(bytes, *boxes->info) : std::nullopt;
    HeifItems items;
    const bool read = ForEachItemExtent(bytes, *boxes->locations, [&](std::uint64_t id, std::uint64_t construction,
                                                                     std::uint64_t e, ByteRange range) {
        if (construction == 0) items.furthest = std::max(items.furthest, range.End());  // file offsets
        if (e == 0 && id == exifId) {
            if (construction == 0) items.exif = range.offset;
            if (construction == 1 && boxes->data) items.exif = Add(boxes->data->payload, range.offset);
        }
    });
    if (!read) return std::nullopt;
    return items;
}

// The date of a HEIF photo: its Exif item is four bytes (where the TIFF header lies after
// them) and an EXIF block.
std::optional<PhotoTime> HeifDate(ByteSource& bytes, const HeifItems& items) {
    std::array<std::uint8_t, 4> skip{};
    if (!items.exif || !ReadAt(bytes, *items.exif, skip)) return std::nullopt;
    const auto tiff = Add(*items.exif + 4, LoadBe32(skip, 0));
    const auto exif = tiff ? ReadExifBlock(bytes, *tiff) : std::nullopt;
    return exif ? exif->Date() : std::nullopt;
}

// A file walked box by box: where it ends, its kind, and the boxes the rest is read from.
struct Walked {
    std::uint64_t length = 0;
    Kind kind;
    std::optional<Box> meta, movie;
};

std::optional<Walked> WalkTopLevel(ByteSource& bytes) {
    std::array<std::uint8_t, 4096> head{};
    std::size_t held = 0;
    for (auto piece = bytes.From(0); !piece.empty() && held < head.size(); piece = bytes.From(held)) {
        const std::size_t take = std::min(piece.size(), head.size() - held);
        std::copy_n(piece.begin(), take, head.begin() + static_cast<std::ptrdiff_t>(held));
        held += take;
    }
    const auto ftyp = FtypBox(std::span(head).first(held));
    if (!ftyp) return std::nullopt;
    Walked walked{0, KindOf(*ftyp), std::nullopt, std::nullopt};

    bool media = false;  // a clip's samples: mdat, or a fragment's moof
    Box box;
    for (std::uint64_t& at = walked.length;;) {
        const BoxRead read = ReadBox(bytes, at, kNoLimit, box);
        if (read == BoxRead::NoBox) break;
        if (at > 0 && box.Type() == "ftyp") break;  // the next file
        if (read == BoxRead::Broken) {
            // A size of 0 or one past the source: no end here. Neither of a large unknown type.
            if (!KnownTopLevel(box.Type())) break;
            return std::nullopt;
        }
        if (!KnownTopLevel(box.Type()) && box.end - box.start > kLargestUnknownBox) break;
        if (box.Type() == "meta" && !walked.meta) walked.meta = box;
        if (box.Type() == "moov" && !walked.movie) walked.movie = box;
        media = media || box.Type() == "mdat" || box.Type() == "moof";
        at = box.end;
    }
    // A whole file has what its brand keeps its pictures in, and holds every byte they take.
    if (walked.kind.needs == Needs::Meta) {
        const auto items = walked.meta ? ReadHeifItems(bytes, *walked.meta) : std::nullopt;
        if (!items || items->furthest > walked.length) return std::nullopt;
    } else if (!walked.movie || !media) {
        return std::nullopt;
    }
    return walked;
}

}  // namespace

Extension Identify(Head head) {
    // A box size under 16 MiB starts with a zero byte; the type comes next.
    if (head.size() < 16 || head[0] != 0 || head[4] != 'f') return std::nullopt;
    const auto ftyp = FtypBox(head);
    if (!ftyp) return std::nullopt;
    for (std::size_t i = 8; i < 12; ++i)
        if (!TypeCharacter((*ftyp)[i])) return std::nullopt;
    return KindOf(*ftyp).extension;
}

std::optional<std::uint64_t> Length(ByteSource& bytes) {
    const auto walked = WalkTopLevel(bytes);
    if (!walked) return std::nullopt;
    return walked->length;
}

std::optional<ClipInfo> Clip(ByteSource& bytes) {
    const auto walked = WalkTopLevel(bytes);
    if (!walked || !walked->movie) return std::nullopt;
    const Box* movie = &*walked->movie;
    const auto header = ReadMovieHeader(bytes, *movie);
    if (!header || header->timescale == 0) return std::nullopt;
    ClipInfo clip;
    clip.seconds = static_cast<double>(header->duration) / static_cast<double>(header->timescale);
    // The picture size is the first track's with one: sound tracks have none.
    ForEachBox(bytes, movie->payload, movie->end, [&](const Box& track) {
        if (track.Type() != "trak") return true;
        if (const auto box = Child(bytes, track, "tkhd")) {
            std::array<std::uint8_t, 1> version{};
            std::array<std::uint8_t, 8> size{};
            const std::uint64_t sizeAt = ReadAt(bytes, box->payload, version) && version[0] == 1 ? 88 : 76;
            if (box->end - box->payload >= sizeAt + 8 && ReadAt(bytes, box->payload + sizeAt, size)) {
                clip.width = LoadBe32(size, 0) >> 16;  // 16.16 fixed point
                clip.height = LoadBe32(size, 4) >> 16;
            }
        }
        return clip.width == 0 || clip.height == 0;
    });
    return clip;
}

std::optional<PhotoTime> CreationTime(ByteSource& bytes) {
    const auto walked = WalkTopLevel(bytes);
    if (!walked) return std::nullopt;
    if (walked->kind.needs == Needs::Meta) {
        const auto items = ReadHeifItems(bytes, *walked->meta);
        return items ? HeifDate(bytes, *items) : std::nullopt;
    }
    const auto header = ReadMovieHeader(bytes, *walked->movie);
    // Seconds since 1904; 0 is a camera that never set its clock.
    constexpr std::uint64_t kFrom1904To1970 = 2082844800;
    if (!header || header->created <= kFrom1904To1970 || header->created - kFrom1904To1970 > (std::uint64_t{1} << 40))
        return std::nullopt;
    return CivilFromSeconds(static_cast<std::int64_t>(header->created - kFrom1904To1970));
}

std::optional<ByteRange> LargestPreview(ByteSource& bytes) {
    // Canon keeps its preview in a top-level uuid box of its own: a PRVW box a few bytes in, whose
    // JPEG's length and bytes follow its header (version, picture size).
    constexpr std::array<std::uint8_t, 16> kPreviewBox = {0xEA, 0xF4, 0x2B, 0x5E, 0x1C, 0x98, 0x4B, 0x88,
                                                          0xB9, 0xFB, 0xB7, 0xDC, 0x40, 0x6E, 0x4D, 0x16};
    constexpr std::uint64_t kJpegLengthAt = 0x14, kJpegAt = 0x18;
    const auto walked = WalkTopLevel(bytes);
    if (!walked || walked->kind.extension != ".CR3") return std::nullopt;
    std::optional<ByteRange> preview;
    ForEachBox(bytes, 0, walked->length, [&](const Box& box) {
        std::array<std::uint8_t, 16 + 64> inside{};
        const auto held = static_cast<std::size_t>(std::min<std::uint64_t>(inside.size(), box.end - box.payload));
        if (box.Type() != "uuid" || held < 16 + 8 || !ReadAt(bytes, box.payload, std::span(inside).first(held)) ||
            !std::equal(kPreviewBox.begin(), kPreviewBox.end(), inside.begin()))
            return true;
        for (std::size_t at = 16; at + 8 <= held; ++at) {
            if (!Spells(inside, at + 4, "PRVW")) continue;
            const std::uint64_t start = box.payload + at, end = start + LoadBe32(inside, at);
            std::array<std::uint8_t, 4> length{};
            if (end > box.end || end < start + kJpegAt || !ReadAt(bytes, start + kJpegLengthAt, length)) break;
            const ByteRange jpeg{start + kJpegAt, LoadBe32(length, 0)};
            if (jpeg.length > 0 && jpeg.End() <= end && JpegStartsAt(bytes, jpeg.offset)) preview = jpeg;
            break;
        }
        return false;
    });
    return preview;
}

namespace {

constexpr std::size_t kMostItems = 4096;
constexpr std::uint64_t kLargestConfig = 64 << 10;

// An hvcC property: the parameter sets it holds and the size of its items' NAL unit lengths.
std::optional<HevcItem> ReadHevcConfig(ByteSource& bytes, const Box& box) {
    if (box.end - box.payload < 23 || box.end - box.payload > kLargestConfig) return std::nullopt;
    std::vector<std::uint8_t> config(static_cast<std::size_t>(box.end - box.payload));
    if (!ReadAt(bytes, box.payload, config)) return std::nullopt;
    HevcItem item;
    item.lengthSize = (config[21] & 3) + 1;
    std::size_t at = 23;
    for (std::size_t array = 0; array < config[22]; ++array) {
        if (at + 3 > config.size()) return std::nullopt;
        const std::size_t units = LoadBe16(config, at + 1);
        at += 3;
        for (std::size_t unit = 0; unit < units; ++unit) {
            if (at + 2 > config.size()) return std::nullopt;
            const std::size_t length = LoadBe16(config, at);
            at += 2;
            if (at + length > config.size()) return std::nullopt;
            item.parameterSets.emplace_back(config.begin() + static_cast<std::ptrdiff_t>(at),
                                            config.begin() + static_cast<std::ptrdiff_t>(at + length));
            at += length;
        }
    }
    return item;
}

// The hvcC property of each item that has one, by item id.
std::map<std::uint64_t, Box> HevcConfigs(ByteSource& bytes, const Box& properties) {
    std::vector<Box> listed;  // ipco's boxes, numbered from 1
    std::vector<Box> associations;
    ForEachBox(bytes, properties.payload, properties.end, [&](const Box& box) {
        if (box.Type() == "ipco")
            ForEachBox(bytes, box.payload, box.end, [&](const Box& property) {
                listed.push_back(property);
                return listed.size() < kMostItems;
            });
        if (box.Type() == "ipma" && associations.size() < 16) associations.push_back(box);
        return true;
    });
    std::map<std::uint64_t, Box> configs;
    for (const Box& box : associations) {
        FieldReader field(bytes, box.payload, box.end);
        const auto version = field.Take(1);
        const auto flags = version ? field.Take(3) : std::nullopt;
        const auto count = flags ? field.Take(4) : std::nullopt;
        if (!count) continue;
        for (std::uint64_t entry = 0; entry < std::min<std::uint64_t>(*count, kMostItems); ++entry) {
            const auto item = field.Take(*version < 1 ? 2 : 4);
            const auto properties = item ? field.Take(1) : std::nullopt;
            if (!properties) break;
            for (std::uint64_t i = 0; i < *properties; ++i) {
                const auto index = field.Take(*flags & 1 ? 2 : 1);
                if (!index) break;
                const std::uint64_t number = *index & (*flags & 1 ? 0x7FFF : 0x7F);
                if (number >= 1 && number <= listed.size() && listed[number - 1].Type() == "hvcC")
                    configs.emplace(*item, listed[number - 1]);
            }
        }
    }
    return configs;
}

}  // namespace

namespace {

constexpr std::uint64_t kMostUnitsChecked = 1 << 20;
constexpr std::uint64_t kMostSamples = 1 << 24;

// A video track's samples, each NAL units after their lengths: where its sample table says they lie.
struct NalTrack {
    std::size_t lengthSize = 4;
    bool hevc = false;
    Box sizes, chunks, samplesPerChunk;
    bool wideChunks = false;  // co64
};

std::optional<NalTrack> ReadNalTrack(ByteSource& bytes, const Box& track) {
    const auto media = Child(bytes, track, "mdia");
    const auto info = media ? Child(bytes, *media, "minf") : std::nullopt;
    const auto table = info ? Child(bytes, *info, "stbl") : std::nullopt;
    const auto descriptions = table ? Child(bytes, *table, "stsd") : std::nullopt;
    if (!descriptions) return std::nullopt;
    // stsd: version, flags, a count, then sample entries; a visual entry's boxes follow 78 bytes.
    std::optional<Box> entry = Child(bytes, *descriptions, "avc1", 8);
    for (const std::string_view type : {"avc3", "hvc1", "hev1"})
        if (!entry) entry = Child(bytes, *descriptions, type, 8);
    if (!entry) return std::nullopt;
    NalTrack nal;
    nal.hevc = entry->Type()[0] == 'h';
    const auto config = Child(bytes, *entry, nal.hevc ? "hvcC" : "avcC", 78);
    std::array<std::uint8_t, 1> field{};
    const std::uint64_t lengthAt = nal.hevc ? 21 : 4;
    if (!config || config->end - config->payload <= lengthAt || !ReadAt(bytes, config->payload + lengthAt, field)) return std::nullopt;
    nal.lengthSize = (field[0] & 3) + 1;
    const auto sizes = Child(bytes, *table, "stsz");
    auto chunks = Child(bytes, *table, "stco");
    if (!chunks) {
        chunks = Child(bytes, *table, "co64");
        nal.wideChunks = true;
    }
    const auto samplesPerChunk = Child(bytes, *table, "stsc");
    if (!sizes || !chunks || !samplesPerChunk) return std::nullopt;
    nal.sizes = *sizes;
    nal.chunks = *chunks;
    nal.samplesPerChunk = *samplesPerChunk;
    return nal;
}

// What the samples checked so far showed: where each piece after a join first holds a NAL unit's start.
struct SampleCheck {
    std::span<const std::uint64_t> joins;
    std::vector<bool> started;  // started[i]: a unit starts in the piece from joins[i]
    std::uint64_t units = 0;
    void Saw(std::uint64_t at) {
        const auto piece = std::upper_bound(joins.begin(), joins.end(), at);
        if (piece != joins.begin()) started[static_cast<std::size_t>(piece - joins.begin() - 1)] = true;
        ++units;
    }
};

// Whether the NAL units of the sample at `offset`, `size` bytes, fill it exactly, each with a
// header a coder writes.
bool SampleHolds(ByteSource& bytes, const NalTrack& track, std::uint64_t offset, std::uint64_t size, SampleCheck& check) {
    for (std::uint64_t at = 0; at < size;) {
        std::array<std::uint8_t, 6> head{};
        const std::size_t want = track.lengthSize + 2;
        if (size - at < want || !ReadAt(bytes, offset + at, std::span(head).first(want))) return false;
        std::uint64_t length = 0;
        for (std::size_t i = 0; i < track.lengthSize; ++i) length = length << 8 | head[i];
        const std::uint8_t first = head[track.lengthSize], second = head[track.lengthSize + 1];
        if (length < 2 || length > size - at - track.lengthSize || (first & 0x80) != 0) return false;
        if (track.hevc ? (second & 7) == 0 : (first & 0x1F) == 0) return false;
        check.Saw(offset + at);
        at += track.lengthSize + length;
    }
    return true;
}

// Checks the samples of a track that reach past the first join.
bool TrackSamplesHold(ByteSource& bytes, const NalTrack& track, SampleCheck& check) {
    FieldReader sizes(bytes, track.sizes.payload, track.sizes.end);
    FieldReader chunks(bytes, track.chunks.payload, track.chunks.end);
    FieldReader runs(bytes, track.samplesPerChunk.payload, track.samplesPerChunk.end);
    if (!sizes.Take(4) || !chunks.Take(4) || !runs.Take(4)) return true;
    const auto fixed = sizes.Take(4);
    const auto sampleCount = sizes.Take(4);
    const auto chunkCount = chunks.Take(4);
    const auto runCount = runs.Take(4);
    if (!fixed || !sampleCount || !chunkCount || !runCount || *runCount == 0 || *sampleCount > kMostSamples) return true;
    // stsc: runs of chunks with the same number of samples, each from its first chunk (from 1).
    auto firstChunk = runs.Take(4), perChunk = runs.Take(4);
    if (!runs.Take(4) || !firstChunk || !perChunk) return true;
    constexpr std::uint64_t kNoMore = ~std::uint64_t{0};
    std::uint64_t runsLeft = *runCount - 1;
    std::uint64_t nextFirst = runsLeft ? runs.Take(4).value_or(kNoMore) : kNoMore;
    std::uint64_t sample = 0;
    for (std::uint64_t chunk = 1; chunk <= *chunkCount && sample < *sampleCount; ++chunk) {
        if (chunk >= nextFirst) {
            perChunk = runs.Take(4);
            if (!perChunk || !runs.Take(4)) return true;
            --runsLeft;
            nextFirst = runsLeft ? runs.Take(4).value_or(kNoMore) : kNoMore;
        }
        auto offset = chunks.Take(track.wideChunks ? 8 : 4);
        if (!offset) return true;
        for (std::uint64_t i = 0; i < *perChunk && sample < *sampleCount; ++i, ++sample) {
            const auto size = *fixed ? fixed : sizes.Take(4);
            if (!size) return true;
            if (*offset + *size > check.joins.front()) {
                if (!SampleHolds(bytes, track, *offset, *size, check)) return false;
                if (check.units >= kMostUnitsChecked) return true;
            }
            *offset += *size;
        }
    }
    return true;
}

}  // namespace

std::optional<bool> VideoSamplesHold(ByteSource& bytes, std::span<const std::uint64_t> joins) {
    if (joins.empty() || !std::is_sorted(joins.begin(), joins.end())) return std::nullopt;
    const auto walked = WalkTopLevel(bytes);
    if (!walked || !walked->movie) return std::nullopt;
    SampleCheck check{joins, std::vector<bool>(joins.size())};
    bool holds = true;
    ForEachBox(bytes, walked->movie->payload, walked->movie->end, [&](const Box& box) {
        if (box.Type() != "trak") return true;
        if (const auto track = ReadNalTrack(bytes, box)) holds = TrackSamplesHold(bytes, *track, check);
        return holds;
    });
    if (!holds) return false;
    // A piece in which no unit starts could be a cluster off, made up by the next join.
    if (check.units == 0 || std::find(check.started.begin(), check.started.end(), false) != check.started.end())
        return std::nullopt;
    return true;
}

std::vector<HevcItem> HevcItems(ByteSource& bytes) {
    const auto walked = WalkTopLevel(bytes);
    if (!walked || !walked->meta) return {};
    const auto boxes = ReadMetaBoxes(bytes, *walked->meta);
    if (!boxes || !boxes->info || !boxes->properties) return {};
    std::map<std::uint64_t, HevcItem> items;
    const auto configs = HevcConfigs(bytes, *boxes->properties);
    ForEachItemType(bytes, *boxes->info, [&](std::uint64_t id, std::string_view type) {
        const auto config = configs.find(id);
        if (type == "hvc1" && config != configs.end())
            if (auto item = ReadHevcConfig(bytes, config->second)) items.emplace(id, std::move(*item));
        return items.size() < kMostItems;
    });
    std::set<std::uint64_t> elsewhere;  // items whose data are not file offsets: not judged
    ForEachItemExtent(bytes, *boxes->locations, [&](std::uint64_t id, std::uint64_t construction, std::uint64_t, ByteRange range) {
        const auto item = items.find(id);
        if (item == items.end()) return;
        if (construction != 0) elsewhere.insert(id);
        else if (item->second.data.size() < kMostItems) item->second.data.push_back(range);
    });
    std::vector<HevcItem> found;
    for (auto& [id, item] : items)
        if (!elsewhere.count(id) && !item.data.empty()) found.push_back(std::move(item));
    return found;
}

namespace {

kelvara::Walk Structure(ByteSource& bytes) { return WalkOfLength(Length(bytes)); }

constexpr Signature kSignatures[] = {{0, std::string_view("\0", 1), 4, "ftyp"}};
constexpr Variant kVariants[] = {{".HEIC", "heif", Shown::Decoded}, {".AVIF", "heif", Shown::Decoded},
                                 {".CR3", "raw", Shown::Embedded},  {".MOV", "mp4", Shown::Clip},
                                 {".MP4", "mp4", Shown::Clip},      {".3GP", "mp4", Shown::Clip},
                                 {".3G2", "mp4", Shown::Clip}};

}  // namespace

const Format kFormat = {"ISO media (HEIC, AVIF, CR3, MP4, MOV, 3GP)", kSignatures, true, Identify, kVariants,
                        Structure, HeadShowsImage, std::nullopt, LargestPreview, Clip, CreationTime};

}  // namespace kelvara::formats::iso_media
