// GIF89a: its blocks, image data in sub-blocks, to its trailer.

#include "formats/format.h"

namespace kelvara::formats::gif {
namespace {

constexpr std::uint8_t kExtension = 0x21, kImage = 0x2C, kTrailer = 0x3B;

// A colour table follows when the top bit of its packed field is set: 3 x 2^(n+1) bytes.
std::uint64_t ColourTableBytes(std::uint8_t packed) { return (packed & 0x80) ? 3u << ((packed & 0x07) + 1) : 0; }

// Data sub-blocks: a size byte and that many bytes, until a size of 0.
bool SkipSubBlocks(ByteCursor& cursor) {
    for (;;) {
        const auto size = cursor.Next();
        if (!size) return false;
        if (*size == 0) return true;
        cursor.Skip(*size);
    }
}

Extension Identify(Head head) {
    if (head.size() >= 6 && head[0] == 'G' && head[1] == 'I' && head[2] == 'F' && head[3] == '8' && head[4] == '9' &&
        head[5] == 'a')
        return ".GIF";
    return std::nullopt;
}

constexpr Signature kSignatures[] = {{0, "GIF89a"}};
constexpr Variant kVariants[] = {{".GIF", "gif", Shown::AsItIs}};

}  // namespace

// Its signature is all a scan knows of it, and a GIF of nothing but blocks is still a GIF.
const Format kFormat = {"GIF89a", kSignatures, false, Identify, kVariants, WalkGif, HeadShowsImage,
                        EndMarkerBytes{0x00, 0x3B}, nullptr, nullptr, nullptr};

Walk WalkGif(ByteSource& bytes) {
    ByteCursor cursor(bytes);
    bool image = false;
    std::uint64_t blockAt = 0;  // where the block being read starts: all before it held together
    const auto broken = [&](std::uint64_t at) { return Walk{std::nullopt, at, image}; };
    static constexpr std::uint8_t kSignature[] = {'G', 'I', 'F', '8', '9', 'a'};
    for (const std::uint8_t expected : kSignature)
        if (cursor.Next() != expected) return broken(0);
    // The logical screen: width, height, packed field, background colour, aspect ratio.
    cursor.Skip(4);
    const auto screen = cursor.Next();
    if (!screen) return broken(cursor.Position());
    cursor.Skip(2 + ColourTableBytes(*screen));

    for (;;) {
        blockAt = cursor.Position();
        const auto block = cursor.Next();
        if (!block) return broken(cursor.Position());
        switch (*block) {
            case kTrailer: return Walk{cursor.Position(), cursor.Position(), image};
            case kExtension:
                if (!cursor.Next() || !SkipSubBlocks(cursor)) return broken(cursor.Position());  // the label, then its data
                break;
            case kImage: {
                cursor.Skip(8);  // left, top, width, height
                const auto packed = cursor.Next();
                if (!packed) return broken(cursor.Position());
                cursor.Skip(ColourTableBytes(*packed));
                const auto codeSize = cursor.Next();
                if (!codeSize) return broken(cursor.Position());
                if (*codeSize < 1 || *codeSize > 11) return broken(blockAt);
                image = true;
                if (!SkipSubBlocks(cursor)) return broken(cursor.Position());
                break;
            }
            default: return broken(blockAt);  // no block starts so: not a GIF, or a damaged one
        }
    }
}

}  // namespace kelvara::formats::gif
