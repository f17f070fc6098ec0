#include <algorithm>
#include <vector>

#include "photos/photo_structure.h"

namespace kelvara {
namespace {

constexpr std::uint8_t kStartOfImage = 0xD8, kEndOfImage = 0xD9, kStartOfScan = 0xDA, kApp2 = 0xE2;

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

// The further images a Multi-Picture index declares (cameras append a large preview after the
// photo): each one's start and size, in bytes from `base`, the start of the index's header.
struct FurtherImage {
    std::uint64_t offset, size;
};
std::vector<FurtherImage> ReadMultiPictureIndex(const std::vector<std::uint8_t>& header) {
    constexpr std::uint16_t kEntriesTag = 0xB002;
    constexpr std::size_t kEntrySize = 16;
    if (header.size() < 8) return {};
    const bool little = header[0] == 'I' && header[1] == 'I';
    if (!little && !(header[0] == 'M' && header[1] == 'M')) return {};
    const std::uint64_t ifd = Load32(header.data() + 4, little);
    if (ifd + 2 > header.size()) return {};
    const std::uint16_t count = Load16(header.data() + ifd, little);
    std::vector<FurtherImage> images;
    for (std::uint64_t i = 0, at = ifd + 2; i < count && at + 12 <= header.size(); ++i, at += 12) {
        if (Load16(header.data() + at, little) != kEntriesTag) continue;
        const std::uint64_t bytes = Load32(header.data() + at + 4, little);
        const std::uint64_t first = Load32(header.data() + at + 8, little);
        for (std::uint64_t e = first; e + kEntrySize <= first + bytes && e + kEntrySize <= header.size(); e += kEntrySize) {
            const std::uint64_t size = Load32(header.data() + e + 4, little);
            const std::uint64_t offset = Load32(header.data() + e + 8, little);
            if (offset != 0 && size != 0) images.push_back({offset, size});  // offset 0 is the photo itself
        }
    }
    return images;
}

}  // namespace

std::optional<std::uint64_t> JpegLength(ByteSource& bytes) {
    ByteCursor cursor(bytes);
    if (cursor.Next() != 0xFF || cursor.Next() != kStartOfImage) return std::nullopt;

    bool frame = false, scanned = false;
    std::optional<std::uint64_t> indexBase;
    std::vector<FurtherImage> further;
    int pending = -1;  // a marker met at the end of entropy-coded data; -1 when none is
    for (;;) {
        if (pending < 0) {
            if (cursor.Next() != 0xFF) return std::nullopt;
            const auto next = MarkerCode(cursor);
            if (!next) return std::nullopt;
            pending = *next;
        }
        const auto code = static_cast<std::uint8_t>(pending);
        pending = -1;
        if (code == kEndOfImage) {
            if (!scanned) return std::nullopt;
            break;
        }
        if (IsRestart(code) || code == 0x01) continue;  // markers without a length
        if (!HasLength(code)) return std::nullopt;

        const auto high = cursor.Next(), low = cursor.Next();
        if (!high || !low) return std::nullopt;
        const std::uint32_t length = std::uint32_t{*high} << 8 | *low;
        if (length < 2) return std::nullopt;
        const std::uint64_t segment = cursor.Position();
        if (IsFrame(code)) frame = true;
        if (code == kApp2 && length >= 2 + 4 + 8 && !indexBase) {
            std::vector<std::uint8_t> payload;
            for (std::uint32_t i = 0; i < length - 2; ++i) {
                const auto byte = cursor.Next();
                if (!byte) return std::nullopt;
                payload.push_back(*byte);
            }
            if (payload[0] == 'M' && payload[1] == 'P' && payload[2] == 'F' && payload[3] == 0) {
                indexBase = segment + 4;
                further = ReadMultiPictureIndex({payload.begin() + 4, payload.end()});
            }
        }
        cursor.Seek(segment + length - 2);
        if (code != kStartOfScan) continue;

        // Entropy-coded data runs to the next marker that is neither a stuffed FF 00 nor a restart.
        if (!frame) return std::nullopt;
        scanned = true;
        while (pending < 0) {
            if (!cursor.SkipTo(0xFF)) return std::nullopt;
            cursor.Skip(1);
            const auto next = MarkerCode(cursor);
            if (!next) return std::nullopt;
            if (*next != 0x00 && !IsRestart(*next)) pending = *next;
        }
    }

    std::uint64_t end = cursor.Position();
    // The further images count only where they truly are: after the photo, each a JPEG of its own.
    for (const FurtherImage& image : further) {
        const std::uint64_t start = *indexBase + image.offset;
        ByteCursor at(bytes, start);
        if (start < cursor.Position() || at.Next() != 0xFF || at.Next() != kStartOfImage) continue;
        if (bytes.From(start + image.size - 1).empty()) continue;  // it does not lie whole on the drive
        end = std::max(end, start + image.size);
    }
    return end;
}

}  // namespace kelvara
