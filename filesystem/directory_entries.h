#pragma once
// The entries of a FAT or exFAT folder, live and deleted, read from the folder's bytes as they
// come, a cluster at a time: long names and exFAT entry sets may run on into the next cluster.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kelvara {

// A time as the folder holds it: FAT's is the camera's local time; exFAT's may say how far
// from UTC that was.
struct CardTime {
    std::uint16_t year = 0;
    std::uint8_t month = 0, day = 0, hour = 0, minute = 0, second = 0;
    std::optional<std::int16_t> utcOffsetMinutes;
    bool operator==(const CardTime&) const = default;
};

struct DirectoryEntry {
    std::string name;  // UTF-8, as the card spells it; unchecked (may hold '/', "..", controls)
    std::uint64_t size = 0;
    std::uint32_t firstCluster = 0;
    std::optional<CardTime> modified;
    bool directory = false;
    bool deleted = false;
    bool firstLost = false;   // FAT: deleted without a long name, its first character is a guess
    bool contiguous = false;  // exFAT: the file lies in one run, its table entries say nothing
};
using EntrySink = std::function<void(DirectoryEntry&&)>;

// One FAT folder's entries, in the order of its clusters.
class FatDirectoryReader {
public:
    // The entries of `bytes` (whole 32-byte entries); false once the folder's end mark is met.
    bool Read(std::span<const std::uint8_t> bytes, const EntrySink& sink);

private:
    struct LongPart {
        std::uint8_t checksum;
        std::uint16_t chars[13];
    };
    std::vector<LongPart> parts_;  // at most 20, as a long name holds no more
};

// One exFAT folder's entry sets, in the order of its clusters; a set only counts when its
// checksum holds.
class ExfatDirectoryReader {
public:
    bool Read(std::span<const std::uint8_t> bytes, const EntrySink& sink);

private:
    void TrySet(const EntrySink& sink);
    std::vector<std::uint8_t> set_;  // the entries of a set begun, up to 19 of them
    std::size_t want_ = 0;
};

// Whether the 32-byte FAT entry is a short-name entry a folder could hold (not a long-name part,
// "." or "..", a volume label, or the free marks).
bool PlausibleShortEntry(std::span<const std::uint8_t> entry);

// UTF-16 code units as UTF-8; unpaired surrogates become U+FFFD.
std::string Utf8Of(std::span<const std::uint16_t> units);

}  // namespace kelvara
