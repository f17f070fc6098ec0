#include "formats/tiff_directory.h"

#include <algorithm>

namespace kelvara::formats {

std::optional<TiffHeader> ParseTiffHeader(std::span<const std::uint8_t> eight, std::uint64_t base) {
    if (eight.size() < 8) return std::nullopt;
    TiffHeader header;
    header.base = base;
    if (eight[0] == 'I' && eight[1] == 'I') {
        header.little = true;
        // 42 for TIFF; ORF writes "RO" or "RS", RW2 "U" and a zero.
        const std::uint16_t magic = LoadLe16(eight, 2);
        if (magic != 42 && magic != 0x4F52 && magic != 0x5352 && magic != 0x0055) return std::nullopt;
    } else if (eight[0] == 'M' && eight[1] == 'M') {
        header.little = false;
        const std::uint16_t magic = LoadBe16(eight, 2);
        if (magic != 42 && magic != 0x4F52) return std::nullopt;
    } else {
        return std::nullopt;
    }
    header.firstIfd = Load32(eight, 4, header.little);
    if (header.firstIfd < 8) return std::nullopt;
    return header;
}

std::uint32_t TiffTypeSize(std::uint16_t type) {
    switch (type) {
        case 1: case 2: case 6: case 7: return 1;  // BYTE, ASCII, SBYTE, UNDEFINED
        case 3: case 8: return 2;                  // SHORT, SSHORT
        case 4: case 9: case 11: case 13: return 4;  // LONG, SLONG, FLOAT, IFD
        case 5: case 10: case 12: return 8;        // RATIONAL, SRATIONAL, DOUBLE
        default: return 0;
    }
}

std::uint32_t TiffEntry::Offset() const { return Load32(inlineBytes, 0, little); }

std::optional<std::uint32_t> TiffEntry::Number() const {
    if (count == 0 || !Inline()) return std::nullopt;
    switch (type) {
        case 1: case 7: return inlineBytes[0];
        case 3: return Load16(inlineBytes, 0, little);
        case 4: case 13: return Load32(inlineBytes, 0, little);
        default: return std::nullopt;
    }
}

bool ReadRanges::Claim(std::uint64_t offset, std::uint64_t length) {
    if (length == 0) return true;
    const auto end = Add(offset, length);
    if (!end || count_ == kCapacity) return false;
    for (std::size_t i = 0; i < count_; ++i)
        if (offset < ranges_[i].End() && ranges_[i].offset < *end) return false;
    ranges_[count_++] = {offset, length};
    return true;
}

std::optional<DirectoryRead> ReadDirectory(ByteSource& bytes, const TiffHeader& header, std::uint64_t offset,
                                           ReadRanges& claimed, const std::function<void(const TiffEntry&)>& visit) {
    const auto at = Add(header.base, offset);
    std::array<std::uint8_t, 12> field{};
    if (!at || !ReadAt(bytes, *at, std::span(field).first(2))) return std::nullopt;
    const std::uint16_t count = Load16(field, 0, header.little);
    const std::uint64_t size = 2 + 12 * std::uint64_t{count} + 4;
    if (count == 0 || !claimed.Claim(*at, size) || !Holds(bytes, *at + size)) return std::nullopt;
    for (std::uint64_t i = 0; i < count; ++i) {
        if (!ReadAt(bytes, *at + 2 + 12 * i, field)) return std::nullopt;
        TiffEntry entry;
        entry.little = header.little;
        entry.tag = Load16(field, 0, header.little);
        entry.type = Load16(field, 2, header.little);
        entry.count = Load32(field, 4, header.little);
        entry.valueBytes = std::uint64_t{entry.count} * TiffTypeSize(entry.type);
        std::copy_n(field.begin() + 8, 4, entry.inlineBytes.begin());
        visit(entry);
    }
    if (!ReadAt(bytes, *at + 2 + 12 * std::uint64_t{count}, std::span(field).first(4))) return std::nullopt;
    return DirectoryRead{Load32(field, 0, header.little), *at + size};
}

bool ClaimNumbers(const TiffHeader& header, const TiffEntry& entry, ReadRanges& claimed) {
    if (entry.type != 3 && entry.type != 4 && entry.type != 13) return false;
    if (entry.Inline()) return true;
    const auto at = Add(header.base, entry.Offset());
    return at && claimed.Claim(*at, entry.valueBytes);
}

bool ReadNumberBlock(ByteSource& bytes, const TiffHeader& header, const TiffEntry& entry, std::uint64_t first,
                     std::span<std::uint32_t> out) {
    const std::uint32_t width = TiffTypeSize(entry.type);
    if (first + out.size() > entry.count) return false;
    if (entry.Inline()) {
        for (std::size_t i = 0; i < out.size(); ++i)
            out[i] = width == 2 ? Load16(entry.inlineBytes, 2 * (first + i), entry.little) : entry.Offset();
        return true;
    }
    std::array<std::uint8_t, 4 * 1024> raw{};
    for (std::size_t done = 0; done < out.size();) {
        const std::size_t take = std::min(out.size() - done, raw.size() / width);
        const auto at = Add(header.base, std::uint64_t{entry.Offset()} + (first + done) * width);
        if (!at || !ReadAt(bytes, *at, std::span(raw).first(take * width))) return false;
        for (std::size_t i = 0; i < take; ++i)
            out[done + i] = width == 2 ? Load16(raw, 2 * i, entry.little) : Load32(raw, 4 * i, entry.little);
        done += take;
    }
    return true;
}

std::size_t EntryText(ByteSource& bytes, const TiffHeader& header, const TiffEntry& entry, std::span<char> out) {
    if (entry.type != 2 && entry.type != 7 && entry.type != 1) return 0;
    const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(entry.count, out.size()));
    std::array<std::uint8_t, 64> text{};
    if (length > text.size()) return 0;
    if (entry.Inline()) {
        std::copy_n(entry.inlineBytes.begin(), length, text.begin());
    } else {
        const auto at = Add(header.base, entry.Offset());
        if (!at || !ReadAt(bytes, *at, std::span(text).first(length))) return 0;
    }
    std::size_t used = 0;
    while (used < length && text[used] != 0) {
        out[used] = static_cast<char>(text[used]);
        ++used;
    }
    return used;
}

std::optional<PhotoTime> ParseExifDate(std::span<const char> text) {
    if (text.size() < 19) return std::nullopt;
    const auto number = [&](std::size_t at, std::size_t digits) -> std::optional<int> {
        int value = 0;
        for (std::size_t i = at; i < at + digits; ++i) {
            if (text[i] < '0' || text[i] > '9') return std::nullopt;
            value = value * 10 + (text[i] - '0');
        }
        return value;
    };
    for (const std::size_t colon : {4u, 7u, 13u, 16u})
        if (text[colon] != ':') return std::nullopt;
    if (text[10] != ' ') return std::nullopt;
    const auto year = number(0, 4), month = number(5, 2), day = number(8, 2), hour = number(11, 2),
               minute = number(14, 2), second = number(17, 2);
    if (!year || !month || !day || !hour || !minute || !second) return std::nullopt;
    if (*year < 1900 || *month < 1 || *month > 12 || *day < 1 || *day > 31 || *hour > 23 || *minute > 59 ||
        *second > 60)
        return std::nullopt;
    return PhotoTime{*year, *month, *day, *hour, *minute, std::min(*second, 59), false};
}

}  // namespace kelvara::formats
