#include "filesystem/directory_entries.h"

#include <algorithm>

#include "platform/byte_order.h"

namespace kelvara {
namespace {

constexpr std::size_t kEntry = 32;

std::optional<CardTime> FatTime(std::uint16_t date, std::uint16_t time) {
    if (date == 0) return std::nullopt;
    CardTime t;
    t.year = static_cast<std::uint16_t>(1980 + (date >> 9));
    t.month = static_cast<std::uint8_t>(date >> 5 & 15);
    t.day = static_cast<std::uint8_t>(date & 31);
    t.hour = static_cast<std::uint8_t>(time >> 11);
    t.minute = static_cast<std::uint8_t>(time >> 5 & 63);
    t.second = static_cast<std::uint8_t>((time & 31) * 2);
    if (t.month < 1 || t.month > 12 || t.day < 1 || t.hour > 23 || t.minute > 59 || t.second > 59) return std::nullopt;
    return t;
}

std::optional<CardTime> ExfatTime(std::uint32_t stamp, std::uint8_t tenMs, std::uint8_t offset) {
    auto t = FatTime(static_cast<std::uint16_t>(stamp >> 16), static_cast<std::uint16_t>(stamp));
    if (!t) return t;
    if (tenMs >= 100 && t->second < 59) ++t->second;
    if (offset & 0x80) {
        // Seven bits, signed, in quarter hours.
        const int quarters = (offset & 0x40) ? static_cast<int>(offset & 0x7F) - 128 : offset & 0x7F;
        t->utcOffsetMinutes = static_cast<std::int16_t>(quarters * 15);
    }
    return t;
}

std::uint8_t ShortChecksum(const std::uint8_t* name) {
    std::uint8_t sum = 0;
    for (int i = 0; i < 11; ++i) sum = static_cast<std::uint8_t>(((sum & 1) << 7) + (sum >> 1) + name[i]);
    return sum;
}

char ShortChar(std::uint8_t c, bool lower) {
    if (c < 0x20 || c >= 0x7F) return '_';  // OEM code pages differ from card to card
    return lower && c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : static_cast<char>(c);
}

std::string ShortName(const std::uint8_t* e, char first) {
    std::string base, ext;
    for (int i = 0; i < 8; ++i) base += i == 0 ? first : ShortChar(e[i], e[12] & 0x08);
    for (int i = 8; i < 11; ++i) ext += ShortChar(e[i], e[12] & 0x10);
    while (!base.empty() && base.back() == ' ') base.pop_back();
    while (!ext.empty() && ext.back() == ' ') ext.pop_back();
    return ext.empty() ? base : base + "." + ext;
}

std::uint16_t ExfatChecksum(std::span<const std::uint8_t> set, bool deleted) {
    std::uint16_t sum = 0;
    for (std::size_t i = 0; i < set.size(); ++i) {
        if (i == 2 || i == 3) continue;
        std::uint8_t byte = set[i];
        if (deleted && i % kEntry == 0) byte |= 0x80;  // deleting cleared each entry's in-use bit
        sum = static_cast<std::uint16_t>(((sum & 1) << 15) + (sum >> 1) + byte);
    }
    return sum;
}

}  // namespace

std::string Utf8Of(std::span<const std::uint16_t> units) {
    std::string out;
    for (std::size_t i = 0; i < units.size(); ++i) {
        std::uint32_t c = units[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00);
        else if (c >= 0xD800 && c < 0xE000)
            c = 0xFFFD;
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | c >> 12);
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | c >> 18);
            out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

bool PlausibleShortEntry(std::span<const std::uint8_t> e) {
    const std::uint8_t attributes = e[11];
    if (e[0] == 0 || e[0] == '.' || (attributes & 0xC0) || attributes == 0x0F || (attributes & 0x08)) return false;
    for (int i = 0; i < 11; ++i) {
        if (i == 0 && (e[0] == 0xE5 || e[0] == 0x05)) continue;
        if (e[i] < 0x20 || (e[i] >= 'a' && e[i] <= 'z') || e[i] == '/' || e[i] == '\\' || e[i] == ':' || e[i] == '*' ||
            e[i] == '?' || e[i] == '"' || e[i] == '<' || e[i] == '>' || e[i] == '|')
            return false;
    }
    return e[0] != ' ';
}

bool FatDirectoryReader::Read(std::span<const std::uint8_t> bytes, const EntrySink& sink) {
    for (std::size_t at = 0; at + kEntry <= bytes.size(); at += kEntry) {
        const std::uint8_t* e = bytes.data() + at;
        if (e[0] == 0) return false;
        if (e[11] == 0x0F && e[12] == 0 && LoadLe16(bytes, at + 26) == 0) {
            // Parts come last first; a live one numbers itself, a deleted one lost its number.
            if (e[0] != 0xE5 && (e[0] & 0x40)) parts_.clear();
            if (parts_.size() == 20) parts_.erase(parts_.begin());
            LongPart part{e[13], {}};
            static constexpr int kAt[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
            for (int i = 0; i < 13; ++i) part.chars[i] = LoadLe16(bytes, at + static_cast<std::size_t>(kAt[i]));
            parts_.push_back(part);
            continue;
        }
        std::vector<LongPart> parts;
        parts.swap(parts_);
        if (!PlausibleShortEntry(bytes.subspan(at, kEntry))) continue;

        DirectoryEntry entry;
        entry.deleted = e[0] == 0xE5;
        std::uint8_t name[11];
        std::copy(e, e + 11, name);
        if (e[0] == 0x05) name[0] = 0xE5;
        // The long name, where its parts belong to this entry by their checksum.
        std::vector<std::uint16_t> chars;
        for (auto part = parts.rbegin(); part != parts.rend(); ++part)
            for (const std::uint16_t c : part->chars) chars.push_back(c);
        const auto end = std::find(chars.begin(), chars.end(), 0);
        chars.erase(end, chars.end());
        if (entry.deleted && !chars.empty()) {
            const std::uint16_t first = chars[0];
            name[0] = first < 0x80 ? static_cast<std::uint8_t>(first >= 'a' && first <= 'z' ? first - 32 : first) : '_';
        }
        const std::uint8_t sum = ShortChecksum(name);
        const bool longHolds = !chars.empty() &&
                               std::all_of(parts.begin(), parts.end(), [&](const LongPart& p) { return p.checksum == sum; });
        if (longHolds) {
            entry.name = Utf8Of(chars);
        } else {
            entry.firstLost = entry.deleted;
            entry.name = ShortName(e, entry.deleted ? '_' : ShortChar(name[0], e[12] & 0x08));
        }
        entry.directory = e[11] & 0x10;
        entry.firstCluster = std::uint32_t{LoadLe16(bytes, at + 20)} << 16 | LoadLe16(bytes, at + 26);
        entry.size = entry.directory ? 0 : LoadLe32(bytes, at + 28);
        entry.modified = FatTime(LoadLe16(bytes, at + 24), LoadLe16(bytes, at + 22));
        sink(std::move(entry));
    }
    return true;
}

bool ExfatDirectoryReader::Read(std::span<const std::uint8_t> bytes, const EntrySink& sink) {
    for (std::size_t at = 0; at + kEntry <= bytes.size(); at += kEntry) {
        const std::span<const std::uint8_t> e = bytes.subspan(at, kEntry);
        if (want_ > 0) {
            set_.insert(set_.end(), e.begin(), e.end());
            if (set_.size() == want_ * kEntry) TrySet(sink);
            continue;
        }
        if (e[0] == 0) return false;
        // A file entry, live (85) or deleted (05), begins a set of 3 to 19 entries.
        if ((e[0] & 0x7F) == 0x05 && e[1] >= 2 && e[1] <= 18) {
            want_ = std::size_t{e[1]} + 1;
            set_.assign(e.begin(), e.end());
        }
    }
    return true;
}

void ExfatDirectoryReader::TrySet(const EntrySink& sink) {
    const std::span<const std::uint8_t> set(set_);
    const std::size_t count = want_;
    want_ = 0;
    const bool deleted = !(set[0] & 0x80);
    const std::uint8_t inUse = deleted ? 0 : 0x80;
    if (set[32] != (0x40 | inUse) || ExfatChecksum(set, deleted) != LoadLe16(set, 2)) return;
    DirectoryEntry entry;
    entry.deleted = deleted;
    entry.directory = LoadLe16(set, 4) & 0x10;
    entry.modified = ExfatTime(LoadLe32(set, 12), set[21], set[23]);
    entry.contiguous = set[33] & 0x02;
    const std::size_t nameLength = set[35];
    entry.firstCluster = LoadLe32(set, 52);
    entry.size = LoadLe64(set, 56);
    std::vector<std::uint16_t> chars;
    for (std::size_t n = 2; n < count && chars.size() < nameLength; ++n) {
        const std::size_t at = n * kEntry;
        if (set[at] != (0x41 | inUse)) break;
        for (std::size_t i = 0; i < 15 && chars.size() < nameLength; ++i) chars.push_back(LoadLe16(set, at + 2 + 2 * i));
    }
    if (chars.size() != nameLength || nameLength == 0) return;
    entry.name = Utf8Of(chars);
    sink(std::move(entry));
}

}  // namespace kelvara
