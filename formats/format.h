#pragma once
// One line of the table of formats: everything the rest of the program asks of a kind of file.
// Each format fills its line in its own file; formats/format_table.* holds the lines in order.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "formats/byte_source.h"
#include "formats/format_walkers.h"
#include "formats/walk.h"

namespace kelvara {

// A kind's two-byte end-of-file marker: FF D9 ends a JPEG, 00 3B a GIF.
using EndMarkerBytes = std::array<std::uint8_t, 2>;

namespace formats {

// A signature at a sector's start, as a pattern over its first bytes: `value` where `mask` is
// set. Built from fixed bytes at offsets, the rest left open.
struct Signature {
    static constexpr std::size_t kBytes = 10;  // no signature looks further: the 9x scan reads these
    std::array<std::uint8_t, kBytes> value{}, mask{};

    constexpr Signature(std::size_t at, std::string_view bytes) { Put(at, bytes); }
    constexpr Signature(std::size_t at, std::string_view bytes, std::size_t at2, std::string_view bytes2) {
        Put(at, bytes);
        Put(at2, bytes2);
    }
    constexpr bool Matches(std::span<const std::uint8_t, kBytes> first) const {
        for (std::size_t i = 0; i < kBytes; ++i)
            if ((first[i] & mask[i]) != value[i]) return false;
        return true;
    }

private:
    constexpr void Put(std::size_t at, std::string_view bytes) {
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            value[at + i] = static_cast<std::uint8_t>(bytes[i]);
            mask[at + i] = 0xFF;
        }
    }
};

// How the preview pane shows a file.
enum class Shown : std::uint8_t {
    AsItIs,    // the browser engine draws the file itself
    Embedded,  // a RAW file: the largest JPEG it carries
    Decoded,   // HEIC and AVIF: decoded into a JPEG
    Clip,      // a page with the clip's size and length, and a video element playing it
};

// One extension of a format's files, and how the preview shows them.
struct Variant {
    std::string_view extension;  // upper case, with its dot: ".DNG"
    std::string_view group;      // the name --formats knows it by: "raw", "heif", "mp4"
    Shown shown;
};

struct Format {
    std::string_view name;  // for people: "TIFF and camera RAW"
    // The signature test at a sector's start: the patterns, then, where a pattern matched and
    // the format needs more than the first bytes to know its file, Identify on the head.
    std::span<const Signature> signatures;
    bool needsHead;  // Identify looks past Signature::kBytes (up to 4096 bytes)
    Extension (*Identify)(Head head);
    std::span<const Variant> variants;
    // Where its structure ends (Walk), and, for a walk that broke off before it met picture
    // data, whether the bytes kept still hold a picture.
    kelvara::Walk (*WalkStructure)(ByteSource& bytes);
    bool (*HoldsImage)(ByteSource& bytes, std::uint64_t length);
    // Where the bytes kept of a broken one end, when it has one.
    std::optional<EndMarkerBytes> endMarker;
    // What the preview needs besides the bytes (nullptr where it is not asked): the JPEG a RAW
    // carries, a clip's size and length.
    std::optional<ByteRange> (*EmbeddedPreview)(ByteSource& bytes);
    std::optional<ClipInfo> (*Clip)(ByteSource& bytes);
    // When it was taken, as the file says; nullptr where the format keeps no date.
    std::optional<PhotoTime> (*Date)(ByteSource& bytes);
};

// What a format without an end marker makes of its walker's answer: the whole structure, or
// a broken one of which nothing certain is known but that its signature and head are real.
kelvara::Walk WalkOfLength(std::optional<std::uint64_t> length);
// For the formats whose signature and head already show a real file: their bytes hold one.
bool HeadShowsImage(ByteSource& bytes, std::uint64_t length);

}  // namespace formats
}  // namespace kelvara
