// RIFF files (WebP pictures, AVI clips): "RIFF", the size of what follows, the form type and
// chunks, each an id, a size and data padded to an even length. The size field is only taken
// when the chunks fill it exactly. An AVI past 1 GiB goes on in further RIFF "AVIX" lists.

#include <array>

#include "formats/byte_reader.h"
#include "formats/format.h"

namespace kelvara::formats::riff {
namespace {

bool IdCharacter(std::uint8_t c) { return c >= 0x20 && c <= 0x7E; }

struct Chunk {
    std::array<std::uint8_t, 12> header{};  // id, size, and a list's type where it is one
    std::uint64_t data = 0, end = 0;        // end includes the pad byte
};

// The chunk at `at`, which must end by `limit` (its pad byte may be missing at the limit).
std::optional<Chunk> ReadChunk(ByteSource& bytes, std::uint64_t at, std::uint64_t limit) {
    Chunk chunk;
    if (limit < at + 8 || !ReadAt(bytes, at, std::span(chunk.header).first(8))) return std::nullopt;
    for (std::size_t i = 0; i < 4; ++i)
        if (!IdCharacter(chunk.header[i])) return std::nullopt;
    const std::uint32_t size = LoadLe32(chunk.header, 4);
    chunk.data = at + 8;
    if (size > limit - chunk.data) return std::nullopt;
    chunk.end = std::min(limit, chunk.data + size + (size & 1));
    if (size >= 4) ReadAt(bytes, chunk.data, std::span(chunk.header).subspan(8, 4));
    return chunk;
}

// The end of the RIFF list at `at` whose form type is `form`, when its chunks fill its size.
std::optional<std::uint64_t> RiffEnd(ByteSource& bytes, std::uint64_t at, std::string_view form,
                                     std::string_view firstChunk = {}) {
    std::array<std::uint8_t, 12> header{};
    if (!ReadAt(bytes, at, header) || !Spells(header, 0, "RIFF") || !Spells(header, 8, form)) return std::nullopt;
    const std::uint32_t size = LoadLe32(header, 4);
    if (size < 4 + 8) return std::nullopt;
    const std::uint64_t end = at + 8 + size;
    if (!Holds(bytes, end)) return std::nullopt;
    for (std::uint64_t chunkAt = at + 12; chunkAt < end;) {
        const auto chunk = ReadChunk(bytes, chunkAt, end);
        if (!chunk) return std::nullopt;
        if (chunkAt == at + 12 && !firstChunk.empty() && !Spells(chunk->header, 0, firstChunk)) return std::nullopt;
        chunkAt = chunk->end;
    }
    return end;
}

}  // namespace

Extension Identify(Head head) {
    if (head.size() < 12 || head[0] != 'R' || head[1] != 'I' || !Spells(head, 0, "RIFF")) return std::nullopt;
    if (Spells(head, 8, "WEBP") && (Spells(head, 12, "VP8") || head.size() < 16)) return ".WEBP";
    if (Spells(head, 8, "AVI ")) return ".AVI";
    return std::nullopt;
}

std::optional<std::uint64_t> Length(ByteSource& bytes) {
    std::array<std::uint8_t, 12> header{};
    if (!ReadAt(bytes, 0, header)) return std::nullopt;
    if (Spells(header, 8, "WEBP")) {
        const auto end = RiffEnd(bytes, 0, "WEBP");
        std::array<std::uint8_t, 4> first{};
        if (!end || !ReadAt(bytes, 12, first) || !Spells(first, 0, "VP8")) return std::nullopt;  // VP8, VP8L, VP8X
        return end;
    }
    auto end = RiffEnd(bytes, 0, "AVI ", "LIST");
    if (!end) return std::nullopt;
    while (const auto more = RiffEnd(bytes, *end, "AVIX")) end = more;
    return end;
}

std::optional<ClipInfo> Clip(ByteSource& bytes) {
    const auto end = RiffEnd(bytes, 0, "AVI ", "LIST");
    if (!end) return std::nullopt;
    const auto headers = ReadChunk(bytes, 12, *end);
    if (!headers || !Spells(headers->header, 8, "hdrl")) return std::nullopt;
    // The main header, and the OpenDML header's frame count, which covers every RIFF list.
    std::optional<ClipInfo> clip;
    std::uint32_t microseconds = 0, frames = 0;
    const std::uint64_t listEnd = std::min(*end, headers->data + LoadLe32(headers->header, 4));
    for (std::uint64_t at = headers->data + 4; at < listEnd;) {
        const auto chunk = ReadChunk(bytes, at, listEnd);
        if (!chunk) break;
        std::array<std::uint8_t, 40> main{};
        if (Spells(chunk->header, 0, "avih") && LoadLe32(chunk->header, 4) >= main.size() &&
            ReadAt(bytes, chunk->data, main)) {
            microseconds = LoadLe32(main, 0);
            frames = LoadLe32(main, 16);
            clip = ClipInfo{LoadLe32(main, 32), LoadLe32(main, 36), 0};
        }
        std::array<std::uint8_t, 12> odml{};
        if (Spells(chunk->header, 0, "LIST") && Spells(chunk->header, 8, "odml") &&
            ReadAt(bytes, chunk->data + 4, odml) && Spells(odml, 0, "dmlh"))
            frames = std::max(frames, LoadLe32(odml, 8));
        at = chunk->end;
    }
    if (clip) clip->seconds = static_cast<double>(frames) * microseconds / 1e6;
    return clip;
}

namespace {

kelvara::Walk Structure(ByteSource& bytes) { return WalkOfLength(Length(bytes)); }

constexpr Signature kSignatures[] = {{0, "RIFF"}};
constexpr Variant kVariants[] = {{".WEBP", "webp", Shown::AsItIs}, {".AVI", "avi", Shown::Clip}};

}  // namespace

const Format kFormat = {"RIFF (WebP, AVI)", kSignatures, true, Identify, kVariants, Structure, HeadShowsImage,
                        std::nullopt, nullptr, Clip, nullptr};

}  // namespace kelvara::formats::riff
