#pragma once
// The signature test at a sector's start, one for both scans: the table's patterns over the
// sector's first bytes, then, where a pattern matched, the format's own naming of its file (on
// the head of the sector, for the formats that need more than the first bytes).

#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <vector>

#include "formats/format_table.h"

namespace kelvara {

class SignatureTest {
public:
    static constexpr std::size_t kFirstBytes = formats::Signature::kBytes;
    // What a format may look at to name its file: the head from the sector's start.
    static constexpr std::int32_t kHeadSectors = 8;

    // The test for the kinds chosen; the formats with none chosen are not looked for.
    explicit SignatureTest(const KindSet& chosen = KindSet::All());

    // Whether a chosen format's pattern matches the first bytes of a sector (kFirstBytes of them,
    // zeros past the drive's end). Decided on the first byte for almost every sector.
    bool Matches(const std::uint8_t* first) const {
        const Candidates& candidates = byFirst_[first[0]];
        for (std::uint16_t i = candidates.begin; i < candidates.end; ++i)
            if (patterns_[i].Matches(first)) return true;
        return false;
    }

    // The kind of file whose signature starts the sector, if a chosen one does. `head` gives the
    // sector's first kHeadSectors sectors (fewer only where the drive or the scan ends); it is
    // asked at most once, and only where a format needs it, so a JPEG or GIF costs no more than
    // its first bytes.
    using HeadOf = std::function<std::span<const std::uint8_t>()>;
    std::optional<FileKind> Name(const std::uint8_t* first, const HeadOf& head) const;

private:
    struct Pattern {
        std::uint64_t mask, value;    // the first eight bytes
        std::uint16_t mask2, value2;  // the next two
        std::uint8_t format;          // its line of the table
        bool Matches(const std::uint8_t* first) const {
            std::uint64_t eight;
            std::uint16_t two;
            std::memcpy(&eight, first, 8);
            std::memcpy(&two, first + 8, 2);
            return (eight & mask) == value && (two & mask2) == value2;
        }
    };
    struct Candidates {
        std::uint16_t begin = 0, end = 0;  // in patterns_
    };
    std::vector<Pattern> patterns_;  // grouped by the first byte they take, each group in table order
    std::array<Candidates, 256> byFirst_{};
    KindSet chosen_;
};

}  // namespace kelvara
