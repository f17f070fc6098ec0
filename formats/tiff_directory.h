#pragma once
// TIFF directories as TIFF files, RAW files and EXIF blocks hold them: the header, one
// directory's entries, and the record of what has been read so that a directory or an array
// met twice (a loop, or a hostile file pointing everything at one place) is refused instead of
// read again. Everything here has a fixed size: memory does not grow with what a file says.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>

#include "formats/byte_reader.h"
#include "formats/format_walkers.h"

namespace kelvara::formats {

enum TiffTag : std::uint16_t {
    kNewSubfileType = 0x00FE,
    kCompression = 0x0103,
    kMake = 0x010F,
    kModel = 0x0110,
    kStripOffsets = 0x0111,
    kStripByteCounts = 0x0117,
    kDateTime = 0x0132,
    kTileOffsets = 0x0144,
    kTileByteCounts = 0x0145,
    kSubIfds = 0x014A,
    kJpegInterchange = 0x0201,
    kJpegInterchangeLength = 0x0202,
    kExifIfd = 0x8769,
    kGpsIfd = 0x8825,
    kDateTimeOriginal = 0x9003,
    kDateTimeDigitized = 0x9004,
    kMakerNote = 0x927C,
    kInteropIfd = 0xA005,
    kDngVersion = 0xC612,
    kDngPrivateData = 0xC634,
};

// Where a TIFF structure starts and how its numbers are written. Offsets inside it count
// from `base`.
struct TiffHeader {
    std::uint64_t base = 0;
    bool little = true;
    std::uint64_t firstIfd = 0;  // from base
};

// The header of the eight bytes at `base`: II*\0 or MM\0*, and the variants RAW formats use in
// their place (ORF's IIRO, IIRS and MMOR, RW2's IIU\0). nullopt for anything else, or a first
// directory inside the header.
std::optional<TiffHeader> ParseTiffHeader(std::span<const std::uint8_t> eight, std::uint64_t base);

// One directory entry. The value lies in the entry's last four bytes when it fits there,
// else at `valueAt` (from the TIFF's base).
struct TiffEntry {
    std::uint16_t tag = 0, type = 0;
    std::uint32_t count = 0;
    std::array<std::uint8_t, 4> inlineBytes{};
    std::uint64_t valueBytes = 0;  // count x the type's size; 0 for a type this reader does not know
    bool little = true;

    bool Inline() const { return valueBytes <= 4; }
    std::uint32_t Offset() const;  // the last four bytes as a number: where an out-of-line value lies
    // The first value of a BYTE, SHORT or LONG entry held inline; nullopt otherwise.
    std::optional<std::uint32_t> Number() const;
};

// How many bytes one value of a TIFF field type takes; 0 for types this reader does not know.
std::uint32_t TiffTypeSize(std::uint16_t type);

// Ranges of a file already read as directories or arrays, at most a fixed number.
class ReadRanges {
public:
    // Records [offset, offset + length); false when it overlaps one recorded before, or when
    // there is no room left (a file of more directories and arrays than any real one has).
    bool Claim(std::uint64_t offset, std::uint64_t length);

private:
    static constexpr std::size_t kCapacity = 256;
    std::array<ByteRange, kCapacity> ranges_{};
    std::size_t count_ = 0;
};

// Reads the directory at `offset` (from the header's base): claims its bytes, calls `visit`
// for each entry in order, and gives the offset of the next directory (0 when there is none)
// and where the directory ends. nullopt when the directory does not lie whole in the source,
// is empty, or overlaps what `claimed` holds.
struct DirectoryRead {
    std::uint32_t next;
    std::uint64_t end;  // from the source's first byte
};
std::optional<DirectoryRead> ReadDirectory(ByteSource& bytes, const TiffHeader& header, std::uint64_t offset,
                                           ReadRanges& claimed, const std::function<void(const TiffEntry&)>& visit);

// Whether an entry is an array of SHORT or LONG numbers, and, when it lies out of line, claims
// its bytes: false when it is no such array or they overlap what was read before.
bool ClaimNumbers(const TiffHeader& header, const TiffEntry& entry, ReadRanges& claimed);
// Numbers `first` to `first + out.size() - 1` of such an array; false when they cannot be read.
bool ReadNumberBlock(ByteSource& bytes, const TiffHeader& header, const TiffEntry& entry, std::uint64_t first,
                     std::span<std::uint32_t> out);

// The ASCII text of an entry (up to its first NUL), at most `out.size()` characters; the
// number copied, 0 when it cannot be read.
std::size_t EntryText(ByteSource& bytes, const TiffHeader& header, const TiffEntry& entry, std::span<char> out);

// "YYYY:MM:DD HH:MM:SS" as EXIF writes dates; nullopt for anything else, and for the
// all-zero or blank dates cameras write when their clock was never set.
std::optional<PhotoTime> ParseExifDate(std::span<const char> text);

}  // namespace kelvara::formats
