#pragma once
// Small reads out of a ByteSource for the format walkers: fixed-size fields copied out whatever
// the source's pieces are, big-endian loads beside the little-endian ones, and the one question
// every walker ends with: does the source hold all of [0, end)?

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "formats/byte_source.h"
#include "platform/byte_order.h"

namespace kelvara::formats {

// Copies the bytes [offset, offset + out.size()); false when the source ends first.
bool ReadAt(ByteSource& source, std::uint64_t offset, std::span<std::uint8_t> out);

// Whether the source holds every byte before `end`. A source has no holes, so its last byte says so.
inline bool Holds(ByteSource& source, std::uint64_t end) { return end == 0 || !source.From(end - 1).empty(); }

// a + b, or nullopt when it does not fit in 64 bits.
inline std::optional<std::uint64_t> Add(std::uint64_t a, std::uint64_t b) {
    return a + b < a ? std::nullopt : std::optional<std::uint64_t>(a + b);
}

// The bytes of another source from `start` on: a file that begins inside another.
class ShiftedBytes final : public ByteSource {
public:
    ShiftedBytes(ByteSource& bytes, std::uint64_t start) : bytes_(bytes), start_(start) {}
    std::span<const std::uint8_t> From(std::uint64_t offset) override {
        const auto at = Add(start_, offset);
        return at ? bytes_.From(*at) : std::span<const std::uint8_t>();
    }

private:
    ByteSource& bytes_;
    std::uint64_t start_;
};

inline std::uint16_t LoadBe16(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes[at] << 8 | bytes[at + 1]);
}
inline std::uint32_t LoadBe32(std::span<const std::uint8_t> bytes, std::size_t at) {
    return std::uint32_t{bytes[at]} << 24 | std::uint32_t{bytes[at + 1]} << 16 | std::uint32_t{bytes[at + 2]} << 8 |
           std::uint32_t{bytes[at + 3]};
}
inline std::uint64_t LoadBe64(std::span<const std::uint8_t> bytes, std::size_t at) {
    return std::uint64_t{LoadBe32(bytes, at)} << 32 | LoadBe32(bytes, at + 4);
}
inline std::uint16_t Load16(std::span<const std::uint8_t> bytes, std::size_t at, bool little) {
    return little ? LoadLe16(bytes, at) : LoadBe16(bytes, at);
}
inline std::uint32_t Load32(std::span<const std::uint8_t> bytes, std::size_t at, bool little) {
    return little ? LoadLe32(bytes, at) : LoadBe32(bytes, at);
}

// Whether the bytes at `at` spell `text`.
inline bool Spells(std::span<const std::uint8_t> bytes, std::size_t at, std::string_view text) {
    if (at > bytes.size() || bytes.size() - at < text.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (bytes[at + i] != static_cast<std::uint8_t>(text[i])) return false;
    return true;
}

}  // namespace kelvara::formats
