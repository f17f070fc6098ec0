// JPEG: its segments and scans to its end of image, the further images its Multi-Picture index
// declares after it, and what its metadata declares part of it beyond them.

#include <algorithm>
#include <vector>

#include "formats/format.h"

namespace kelvara::formats::jpeg {
namespace {

constexpr std::uint8_t kStartOfImage = 0xD8, kEndOfImage = 0xD9, kStartOfScan = 0xDA, kApp1 = 0xE1, kApp2 = 0xE2;

bool IsRestart(std::uint8_t marker) { return marker >= 0xD0 && marker <= 0xD7; }
bool IsFrame(std::uint8_t marker) {
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}
// Markers followed by a length: frames, tables, restart interval, comments, application data.
// The reserved ones never appear in a photo, so meeting one means this is none.
bool HasLength(std::uint8_t marker) {
    return (marker >= 0xC0 && marker <= 0xCF && marker != 0xC8) || (marker >= 0xDA && marker <= 0xDF) ||
           (marker >= 0xE0 && marker <= 0xEF) || marker == 0xFE;
}

// The marker code after FF and any fill bytes, or nullopt at the end of the bytes.
std::optional<std::uint8_t> MarkerCode(ByteCursor& cursor) {
    std::optional<std::uint8_t> code;
    do code = cursor.Next();
    while (code == 0xFF);
    return code;
}

std::uint32_t Load32(const std::uint8_t* at, bool little) {
    return little ? std::uint32_t{at[0]} | std::uint32_t{at[1]} << 8 | std::uint32_t{at[2]} << 16 | std::uint32_t{at[3]} << 24
                  : std::uint32_t{at[3]} | std::uint32_t{at[2]} << 8 | std::uint32_t{at[1]} << 16 | std::uint32_t{at[0]} << 24;
}
std::uint16_t Load16(const std::uint8_t* at, bool little) {
    return static_cast<std::uint16_t>(little ? at[0] | at[1] << 8 : at[0] << 8 | at[1]);
}

// A further image a Multi-Picture index declares (cameras append a large preview after the
// photo): its start and size in bytes from the index's header.
struct FurtherImage {
    std::uint64_t offset, size;
};

// The images the index really holds, in the order they lie: the entries of its one entries tag,
// as many as the tag's own length gives, which must lie inside the segment; each place once.
std::vector<FurtherImage> ReadMultiPictureIndex(const std::vector<std::uint8_t>& header) {
    constexpr std::uint16_t kEntriesTag = 0xB002;
    constexpr std::uint64_t kEntrySize = 16;
    if (header.size() < 8) return {};
    const bool little = header[0] == 'I' && header[1] == 'I';
    if (!little && !(header[0] == 'M' && header[1] == 'M')) return {};
    const std::uint64_t ifd = Load32(header.data() + 4, little);
    if (ifd + 2 > header.size()) return {};
    const std::uint16_t tags = Load16(header.data() + ifd, little);
    std::vector<FurtherImage> images;
    for (std::uint64_t i = 0, at = ifd + 2; i < tags && at + 12 <= header.size(); ++i, at += 12) {
        if (Load16(header.data() + at, little) != kEntriesTag) continue;
        const std::uint64_t bytes = Load32(header.data() + at + 4, little);
        const std::uint64_t first = Load32(header.data() + at + 8, little);
        if (first + bytes > header.size()) return {};  // an index that does not fit its segment holds nothing
        for (std::uint64_t e = first; e + kEntrySize <= first + bytes; e += kEntrySize) {
            const std::uint64_t size = Load32(header.data() + e + 4, little);
            const std::uint64_t offset = Load32(header.data() + e + 8, little);
            if (offset != 0 && size != 0) images.push_back({offset, size});  // offset 0 is the photo itself
        }
        break;
    }
    std::sort(images.begin(), images.end(),
              [](const FurtherImage& a, const FurtherImage& b) { return a.offset < b.offset || (a.offset == b.offset && a.size < b.size); });
    images.erase(std::unique(images.begin(), images.end(),
                             [](const FurtherImage& a, const FurtherImage& b) { return a.offset == b.offset; }),
                 images.end());
    return images;
}

// Bytes a camera leaves between images to align them: zeros, or FF fill.
bool OnlyPadding(ByteSource& bytes, std::uint64_t from, std::uint64_t to) {
    while (from < to) {
        const std::span<const std::uint8_t> piece = bytes.From(from);
        if (piece.empty()) return false;
        const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(piece.size(), to - from));
        for (std::size_t i = 0; i < count; ++i)
            if (piece[i] != 0x00 && piece[i] != 0xFF) return false;
        from += count;
    }
    return true;
}

struct MultiPicture {
    std::uint64_t base = 0;  // where the index's header starts: the images' offsets count from there
    std::vector<FurtherImage> images;
};

// One image from its FF D8 to its FF D9, by its segments and scans. The first Multi-Picture
// index met goes to `index`, and what its Exif and XMP segments declare after the image to
// `declared`, when they are asked for. A broken walk has held together up to the marker where it
// broke off, or up to where the bytes ended.
Walk WalkImage(ByteSource& bytes, std::optional<MultiPicture>* index, Declared* declared) {
    ByteCursor cursor(bytes);
    bool frame = false, scanned = false;
    std::uint64_t markerAt = 0;  // where the marker being read starts
    const auto broken = [&](std::uint64_t at) { return Walk{std::nullopt, at, frame && scanned}; };
    if (cursor.Next() != 0xFF || cursor.Next() != kStartOfImage) return broken(0);

    int pending = -1;  // a marker met at the end of entropy-coded data; -1 when none is
    for (;;) {
        if (pending < 0) {
            markerAt = cursor.Position();
            if (cursor.Next() != 0xFF) return broken(markerAt);
            const auto next = MarkerCode(cursor);
            if (!next) return broken(cursor.Position());
            pending = *next;
        }
        const auto code = static_cast<std::uint8_t>(pending);
        pending = -1;
        if (code == kEndOfImage) {
            if (!scanned) return broken(markerAt);
            return Walk{cursor.Position(), cursor.Position(), true};
        }
        if (IsRestart(code) || code == 0x01) continue;  // markers without a length
        if (!HasLength(code)) return broken(markerAt);

        const auto high = cursor.Next(), low = cursor.Next();
        if (!high || !low) return broken(cursor.Position());
        const std::uint32_t length = std::uint32_t{*high} << 8 | *low;
        if (length < 2) return broken(markerAt);
        const std::uint64_t segment = cursor.Position();
        if (IsFrame(code)) frame = true;
        if (code == kApp2 && length >= 2 + 4 + 8 && index && !*index) {
            std::vector<std::uint8_t> payload;
            payload.reserve(length - 2);
            for (std::uint32_t i = 0; i < length - 2; ++i) {
                const auto byte = cursor.Next();
                if (!byte) return broken(cursor.Position());
                payload.push_back(*byte);
            }
            if (payload[0] == 'M' && payload[1] == 'P' && payload[2] == 'F' && payload[3] == 0)
                *index = MultiPicture{segment + 4, ReadMultiPictureIndex({payload.begin() + 4, payload.end()})};
        }
        if (code == kApp1 && declared) {
            // Read as it is passed, while its bytes are at hand; the cursor's are then read afresh.
            ReadDeclared(bytes, Segment{code, segment, length - 2}, *declared);
            cursor.Forget();
        }
        cursor.Seek(segment + length - 2);
        if (code != kStartOfScan) continue;

        // Entropy-coded data runs to the next marker that is neither a stuffed FF 00 nor a restart.
        if (!frame) return broken(markerAt);
        scanned = true;
        while (pending < 0) {
            if (!cursor.SkipTo(0xFF)) return broken(cursor.Position());
            markerAt = cursor.Position();
            cursor.Skip(1);
            const auto next = MarkerCode(cursor);
            if (!next) return broken(cursor.Position());
            if (*next != 0x00 && !IsRestart(*next)) pending = *next;
        }
    }
}

void WalkFurtherImages(ByteSource& bytes, const std::optional<MultiPicture>& index, Walk& walk) {
    if (!index) return;

    // The further images count where they truly are: one after another behind the photo, at
    // most some padding to align them between (less than a sector), each a whole JPEG of exactly
    // the size the index gives. The first that does not hold up ends the photo before it.
    constexpr std::uint64_t kMostPadding = 512;
    for (const FurtherImage& image : index->images) {
        const std::uint64_t start = index->base + image.offset;
        if (start < *walk.end || start - *walk.end >= kMostPadding || !OnlyPadding(bytes, *walk.end, start)) break;
        SourceView view(bytes, start, image.size);
        if (WalkImage(view, nullptr, nullptr).end != image.size) break;
        walk.end = walk.reached = start + image.size;
    }
}

// The APP segments of a photo's header, where its Exif lies: a camera writes it first or after
// a JFIF one. Segments further in are not looked for, so a chain of them that hops through the
// whole file is not read again for its date.
std::vector<Segment> HeaderAppSegments(ByteSource& bytes) {
    constexpr std::uint64_t kHeaderBytes = 256 * 1024;
    std::vector<Segment> segments;
    ForEachAppSegment(bytes, [&](const Segment& segment) {
        if (segment.offset > kHeaderBytes) return false;
        segments.push_back(segment);
        return true;
    });
    return segments;
}

Extension Identify(Head head) {
    if (head.size() >= 2 && head[0] == 0xFF && head[1] == kStartOfImage) return ".JPG";
    return std::nullopt;
}

constexpr Signature kSignatures[] = {{0, "\xFF\xD8"}};
constexpr Variant kVariants[] = {{".JPG", "jpeg", Shown::AsItIs}};

}  // namespace

const Format kFormat = {"JPEG", kSignatures, false, Identify, kVariants, WalkJpeg, JpegHoldsImage,
                        EndMarkerBytes{0xFF, 0xD9}, nullptr, nullptr, Date};

Walk WalkJpeg(ByteSource& bytes) {
    std::optional<MultiPicture> index;
    Declared declared;
    Walk walk = WalkImage(bytes, &index, &declared);
    if (walk.end) {
        WalkFurtherImages(bytes, index, walk);
        // What its metadata declares after that: a maker note's preview, a motion photo's clip.
        walk.end = walk.reached = DeclaredEnd(bytes, *walk.end, declared);
    }
    return walk;
}

std::optional<PhotoTime> Date(ByteSource& bytes) { return DateTimeOriginal(bytes, HeaderAppSegments(bytes)); }

bool JpegHoldsImage(ByteSource& bytes, std::uint64_t length) {
    SourceView kept(bytes, 0, length);
    ByteCursor cursor(kept);
    bool frame = false;
    // A header's fields, read from just after its marker code; the search goes on from there
    // whatever they hold.
    const auto header = [&](int count) {
        std::vector<std::uint8_t> fields;
        const std::uint64_t after = cursor.Position();
        for (int i = 0; i < count; ++i) {
            const auto byte = cursor.Next();
            if (!byte) break;
            fields.push_back(*byte);
        }
        cursor.Seek(after);
        return fields;
    };
    while (cursor.SkipTo(0xFF)) {
        cursor.Skip(1);
        const auto code = cursor.Next();
        if (!code) return false;
        if (!frame && IsFrame(*code)) {
            // Length, precision, height, width, components: 8 + 3 bytes a component.
            const auto f = header(8);
            if (f.size() == 8) {
                const unsigned length = f[0] << 8 | f[1], components = f[7], width = f[5] << 8 | f[6];
                frame = components >= 1 && components <= 4 && length == 8 + 3 * components && f[2] >= 2 &&
                        f[2] <= 16 && width > 0;
            }
        } else if (frame && *code == kStartOfScan) {
            const auto f = header(3);
            if (f.size() == 3) {
                const unsigned length = f[0] << 8 | f[1], components = f[2];
                if (components >= 1 && components <= 4 && length == 6 + 2 * components) return true;
            }
        }
    }
    return false;
}

}  // namespace kelvara::formats::jpeg
