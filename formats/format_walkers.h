#pragma once
// The photo and clip formats, one file each, all of the same shape:
//
//   Identify(head)  the signature test at a sector start. `head` is the first 4096 bytes there
//                   (fewer only at the drive's end). nullopt when this is not the format, else the
//                   file's extension, upper case with its dot, decided from the head alone so that
//                   the name listed at scan time and the file saved agree. Cheap: almost every
//                   sector fails on its first byte or two.
//   Length(bytes)   where the file's own structure ends, in bytes from its first byte; nullopt
//                   when it leads nowhere (damaged, cut short, overwritten, or only chance). Every
//                   walker reads each byte at most a constant number of times, in memory of a
//                   fixed size, whatever the file says about itself.
//
// and beside them what the rest of the program asks of a format: a RAW's embedded preview, a
// photo's or clip's date, a clip's size and length, and how far a JPEG's declared extras reach.
// Each file fills its format's line of the table (kFormat; formats/format_table.h).

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "formats/byte_source.h"
#include "formats/walk.h"

namespace kelvara::formats {

struct Format;

using Head = std::span<const std::uint8_t>;
using Extension = std::optional<std::string_view>;

// Part of a file: where it starts and how long it is, in bytes from the file's first byte.
struct ByteRange {
    std::uint64_t offset = 0, length = 0;
    std::uint64_t End() const { return offset + length; }
    bool operator==(const ByteRange&) const = default;
};

// A date and time as a file states it: EXIF's are the camera's local time, a clip's header UTC.
struct PhotoTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    bool utc = false;
    bool operator==(const PhotoTime&) const = default;
};

// A clip's picture size and length, from its own header.
struct ClipInfo {
    std::uint32_t width = 0, height = 0;
    double seconds = 0;
};

// JPEG: walked by its segments and scans to its end of image, over the further images its
// Multi-Picture index declares, and over what its metadata declares after it (see below).
namespace jpeg {
extern const Format kFormat;
kelvara::Walk WalkJpeg(ByteSource& bytes);
// Whether the first `length` bytes of a JPEG whose walk broke off before its picture still hold
// one: a frame header and, after it, a scan header, each well formed (a damaged segment length
// hides them from the walk, not from a decoder). Chance bytes after an FF D8 hold none.
bool JpegHoldsImage(ByteSource& bytes, std::uint64_t length);
std::optional<PhotoTime> Date(ByteSource& bytes);
}  // namespace jpeg

// GIF89a: its blocks to its trailer.
namespace gif {
extern const Format kFormat;
kelvara::Walk WalkGif(ByteSource& bytes);
}  // namespace gif

// TIFF and the RAW formats built on it: DNG, CR2, NEF/NRW, ARW/SR2, ORF, PEF, RW2, SRW.
namespace tiff {
extern const Format kFormat;
Extension Identify(Head head);
// The furthest byte that any directory addresses: the directory chain, SubIFDs, the EXIF and
// GPS directories, strips, tiles, embedded JPEGs, out-of-line values (maker notes included)
// and the maker note's own previews.
std::optional<std::uint64_t> Length(ByteSource& bytes);
// The largest embedded JPEG a browser can show (baseline or progressive, not the lossless
// JPEG some RAW data is kept in).
std::optional<ByteRange> LargestPreview(ByteSource& bytes);
std::optional<PhotoTime> DateTimeOriginal(ByteSource& bytes);
// How many JPEG-coded strips, tiles or embedded JPEGs start at byte `from` or past it.
std::size_t JpegPiecesFrom(ByteSource& bytes, std::uint64_t from);
// Whether every JPEG-coded strip, tile or embedded JPEG past the first of `joins` (where pieces
// put together start, in order) starts FF D8; nullopt where that cannot tell, as where a piece
// holds no such start.
std::optional<bool> JpegPiecesHold(ByteSource& bytes, std::span<const std::uint64_t> joins);
}  // namespace tiff

// Fujifilm RAF: a header of offsets and lengths, a JPEG and the RAW data.
namespace raf {
extern const Format kFormat;
Extension Identify(Head head);
std::optional<std::uint64_t> Length(ByteSource& bytes);
std::optional<ByteRange> LargestPreview(ByteSource& bytes);
// The date of the JPEG it carries.
std::optional<PhotoTime> DateTimeOriginal(ByteSource& bytes);
}  // namespace raf

// ISO base media: HEIC/HEIF, AVIF, CR3, MP4, MOV, 3GP. The file is its top-level boxes, and
// holds the boxes a whole file of its brand has: meta, and every byte its items take, for HEIF;
// moov and the samples (mdat or fragments) for clips.
namespace iso_media {
extern const Format kFormat;
Extension Identify(Head head);
std::optional<std::uint64_t> Length(ByteSource& bytes);
// A CR3's largest JPEG: the preview in its preview box; nullopt for the other brands.
std::optional<ByteRange> LargestPreview(ByteSource& bytes);
// A clip's picture size (its video track's header) and length (the movie header's).
std::optional<ClipInfo> Clip(ByteSource& bytes);
// When it was taken: a HEIF photo's EXIF DateTimeOriginal (from its Exif item), a clip's
// creation time from its movie header (UTC).
std::optional<PhotoTime> CreationTime(ByteSource& bytes);
// A HEIF photo's HEVC-coded items (its picture, a grid's tiles, its thumbnails), each with what
// a decoder needs to decode it on its own; empty for other files.
struct HevcItem {
    std::vector<std::vector<std::uint8_t>> parameterSets;  // its hvcC's NAL units (VPS, SPS, PPS)
    std::size_t lengthSize = 4;                           // bytes of each NAL unit's length in its data
    std::vector<ByteRange> data;                          // where its data lie in the file, in order
};
std::vector<HevcItem> HevcItems(ByteSource& bytes);
// Whether a clip's H.264 or HEVC video samples past the first of `joins` (where pieces put
// together start, in order) are each filled exactly by NAL units; nullopt where that cannot
// tell, as where a piece holds no unit's start.
std::optional<bool> VideoSamplesHold(ByteSource& bytes, std::span<const std::uint64_t> joins);
}  // namespace iso_media

// PNG: chunks to IEND, each CRC checked.
namespace png {
extern const Format kFormat;
Extension Identify(Head head);
std::optional<std::uint64_t> Length(ByteSource& bytes);
}  // namespace png

// RIFF: WebP and AVI (with its OpenDML continuation), by the RIFF size checked against its chunks.
namespace riff {
extern const Format kFormat;
Extension Identify(Head head);
std::optional<std::uint64_t> Length(ByteSource& bytes);
// An AVI's picture size and length from its main header.
std::optional<ClipInfo> Clip(ByteSource& bytes);
}  // namespace riff

// What a JPEG's own metadata declares part of it beyond its end of image.
namespace jpeg {
// An APP segment: its marker (0xE0 to 0xEF) and where its payload lies (after the length field).
struct Segment {
    std::uint8_t marker = 0;
    std::uint64_t offset = 0;
    std::uint32_t length = 0;
};
// Calls `use` for each APP segment before the first scan, in order, until it returns false.
// Stops at anything that is not a marker segment.
void ForEachAppSegment(ByteSource& bytes, const std::function<bool(const Segment&)>& use);

// What a JPEG's Exif and XMP segments declare after its image, read as a walk passes them (the
// first of each counts): where the maker note places its preview, the lengths of a motion
// photo's items. Nothing is looked at where they point until the image's end is known.
struct Declared {
    std::array<std::optional<ByteRange>, 2> previewPlaces;
    std::optional<std::uint64_t> microVideo;  // Google's MicroVideoOffset: the clip's length
    struct Item {
        enum class Type : std::uint8_t { Jpeg, Video, Other } type;
        std::uint64_t length, padding;
    };
    std::vector<Item> container;  // a Container directory's items, the primary image first
    bool exifRead = false, xmpRead = false;
};
// Reads what `segment` declares into `declared`, when it is the first Exif or the first XMP one.
// Reads only the segment (and what its directories point at).
void ReadDeclared(ByteSource& bytes, const Segment& segment, Declared& declared);

// How far the data that the photo's metadata declares part of it reach, given the end of its
// image (just after its end marker): a preview the EXIF maker note places after the image, a
// motion photo's video (its XMP's item lengths, or a phone maker's trailer). `imageEnd` when
// nothing is declared, or when what is declared does not lie there whole.
std::uint64_t DeclaredEnd(ByteSource& bytes, std::uint64_t imageEnd, const Declared& declared);
// The same from its APP segments.
std::uint64_t DeclaredEnd(ByteSource& bytes, std::uint64_t imageEnd, std::span<const Segment> appSegments);
// The preview that the maker note places anywhere in the file; nullopt when there is none.
std::optional<ByteRange> MakerNotePreview(ByteSource& bytes, std::span<const Segment> appSegments);
// EXIF DateTimeOriginal (or, when missing, DateTimeDigitized).
std::optional<PhotoTime> DateTimeOriginal(ByteSource& bytes, std::span<const Segment> appSegments);
}  // namespace jpeg

}  // namespace kelvara::formats
