#include "tests/support/hostile_cards.h"

#include <algorithm>
#include <stdexcept>

namespace kelvara::testing {
namespace {

constexpr std::size_t kSector = 512;

// A frame of one 16 x 16 component and a scan of it.
const Bytes kFrameAndScan = {0xFF, 0xC0, 0, 11, 8, 0, 16, 0, 16, 1, 1, 0x11, 0,
                             0xFF, 0xDA, 0, 8,  1, 1, 0,  0, 63, 0};

void Put(Bytes& card, std::size_t at, const Bytes& bytes) {
    if (at + bytes.size() > card.size()) throw std::runtime_error("does not fit on the card");
    std::copy(bytes.begin(), bytes.end(), card.begin() + static_cast<std::ptrdiff_t>(at));
}

void Put16(Bytes& out, std::uint32_t v) { out.insert(out.end(), {std::uint8_t(v), std::uint8_t(v >> 8)}); }
void Put32(Bytes& out, std::uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

Bytes App2(const Bytes& payload) {
    const std::size_t length = payload.size() + 2;
    if (length > 0xFFFF) throw std::runtime_error("segment too long");
    Bytes out = {0xFF, 0xE2, std::uint8_t(length >> 8), std::uint8_t(length)};
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

}  // namespace

Bytes TinyJpeg(std::size_t length, int seed, const Bytes& segments) {
    Bytes out = {0xFF, 0xD8};
    out.insert(out.end(), segments.begin(), segments.end());
    out.insert(out.end(), kFrameAndScan.begin(), kFrameAndScan.end());
    if (out.size() + 2 > length) throw std::runtime_error("too short for its segments");
    while (out.size() + 2 < length) out.push_back(static_cast<std::uint8_t>(1 + (out.size() * 13 + seed) % 200));
    out.insert(out.end(), {0xFF, 0xD9});
    return out;
}

Bytes MultiPictureSegment(const std::vector<std::pair<std::uint32_t, std::uint32_t>>& images, int moreTags) {
    const auto tags = static_cast<std::uint32_t>(1 + moreTags);
    const std::uint32_t entriesAt = 8 + 2 + 12 * tags + 4;
    const auto entries = static_cast<std::uint32_t>(16 * (images.size() + 1));
    Bytes payload = {'M', 'P', 'F', 0, 'I', 'I', 0x2A, 0, 8, 0, 0, 0};
    Put16(payload, tags);
    for (std::uint32_t t = 0; t < tags; ++t) {
        Put16(payload, 0xB002);
        Put16(payload, 7);
        Put32(payload, entries);
        Put32(payload, entriesAt);
    }
    Put32(payload, 0);
    Put32(payload, 0x20030000), Put32(payload, 0), Put32(payload, 0), Put32(payload, 0);  // the photo itself
    for (const auto& [size, offset] : images) Put32(payload, 0x00010001), Put32(payload, size), Put32(payload, offset), Put32(payload, 0);
    return App2(payload);
}

Bytes HoppingJpegCard(std::size_t sectors, std::size_t hop) {
    Bytes card(sectors * kSector, 0x20);
    const std::uint32_t length = static_cast<std::uint32_t>(kSector * hop - 2);
    for (std::size_t s = 0; s < sectors; ++s) {
        const std::size_t at = s * kSector;
        Put(card, at, {0xFF, 0xD8});
        if (s + hop < sectors) {
            // An APP1 segment whose next marker is at the same place `hop` sectors on.
            Put(card, at + 2, {0xFF, 0xE1, std::uint8_t(length >> 8), std::uint8_t(length)});
        } else {
            Bytes end = kFrameAndScan;
            end.insert(end.end(), {9, 9, 9, 9, 0xFF, 0xD9});
            Put(card, at + 2, end);
        }
    }
    return card;
}

Bytes ChainedGifCard(std::size_t sectors) {
    Bytes card(sectors * kSector, 0x41);
    // Screen without a colour table, one image, code size 2; then sub-blocks of 255 bytes whose
    // size bytes lie 24 and 280 bytes into every sector, so each chain runs through the next.
    const Bytes header = {'G', 'I', 'F', '8', '9', 'a', 16, 0, 16, 0, 0, 0, 0, 0x2C, 0, 0, 0, 0, 16, 0, 16, 0, 0, 2};
    for (std::size_t s = 0; s < sectors; ++s) {
        Put(card, s * kSector, header);
        card[s * kSector + 24] = 255;
        card[s * kSector + 280] = 255;
    }
    const std::size_t last = (sectors - 1) * kSector;
    card[last + 280] = 0x00;  // the end of the image's data
    card[last + 281] = 0x3B;  // and of the file
    return card;
}

Bytes FarPreviewCard(std::size_t sectors, int count) {
    Bytes card(sectors * kSector, 0);
    const std::size_t far = (sectors - 128) * kSector;
    const std::uint32_t previewSize = 128 * kSector;
    Put(card, far, TinyJpeg(previewSize, 999));
    for (int i = 0; i < count; ++i) {
        const std::size_t at = static_cast<std::size_t>(i) * 4 * kSector;
        const auto offset = static_cast<std::uint32_t>(far - (at + 2 + 8));
        Put(card, at, TinyJpeg(1600, i, MultiPictureSegment({{previewSize, offset}})));
    }
    return card;
}

Bytes DeclaredGiantCard(std::size_t sectors, std::uint32_t declared) {
    Bytes card(sectors * kSector, 0);
    const Bytes photo = TinyJpeg(1500, 1, MultiPictureSegment({{declared, 1500 - 10}}));
    Put(card, 0, photo);
    Put(card, photo.size(), TinyJpeg(1000, 2));
    return card;
}

Bytes AlternatingIndexCard(std::size_t sectors, int entries) {
    Bytes card(sectors * kSector, 0);
    const std::size_t a = (sectors - 64) * kSector, b = (sectors - 32) * kSector;
    Put(card, a, TinyJpeg(4000, 3));
    Put(card, b, TinyJpeg(4000, 4));
    std::vector<std::pair<std::uint32_t, std::uint32_t>> images;
    for (int i = 0; i < entries; ++i)
        images.push_back({4000, static_cast<std::uint32_t>((i % 2 ? b : a) - 10)});
    Put(card, 0, TinyJpeg(67000, 5, MultiPictureSegment(images)));
    return card;
}

Bytes ManyTagsCard(std::size_t sectors, int tags) {
    Bytes card(sectors * kSector, 0);
    // The index fills its segment with tags; their entries would lie past its end.
    Bytes payload = {'M', 'P', 'F', 0, 'I', 'I', 0x2A, 0, 8, 0, 0, 0};
    Put16(payload, static_cast<std::uint32_t>(tags));
    for (int t = 0; t < tags; ++t) {
        Put16(payload, 0xB002);
        Put16(payload, 7);
        Put32(payload, 0xFFF0);
        Put32(payload, 8 + 2 + 12 * static_cast<std::uint32_t>(t % 7));
    }
    Put32(payload, 0);
    Put(card, 0, TinyJpeg(67000, 6, App2(payload)));
    return card;
}

Bytes PngChunkEverywhereCard(std::size_t sectors, std::uint32_t declared) {
    Bytes head = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    head.resize(head.size() + 13, 0);
    // The image header's CRC, of "IHDR" and thirteen zeros.
    for (const std::uint8_t b : {0x2E, 0x90, 0x68, 0x0F}) head.push_back(b);
    for (int i = 3; i >= 0; --i) head.push_back(static_cast<std::uint8_t>(declared >> (8 * i)));
    for (const char c : {'I', 'D', 'A', 'T'}) head.push_back(static_cast<std::uint8_t>(c));
    Bytes card(sectors * kSector, 0);
    for (std::size_t s = 0; s < sectors; ++s) Put(card, s * kSector, head);
    return card;
}

Bytes SignatureEverywhereCard(std::size_t sectors) {
    Bytes card(sectors * kSector, 0);
    for (std::size_t s = 0; s < sectors; ++s) Put(card, s * kSector, {0xFF, 0xD8, 0xFF});
    return card;
}

Bytes FoldersEverywhereCard(std::size_t sectors) {
    Bytes card(sectors * 512, 0);
    const auto put = [&](std::size_t at, std::uint64_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) card[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
    };
    constexpr std::size_t kReserved = 32;
    const std::size_t tableSectors = (sectors * 4 + 511) / 512;
    const std::size_t dataSector = kReserved + tableSectors;
    const std::size_t clusters = sectors - dataSector;
    card[0] = 0xEB, card[1] = 0x58, card[2] = 0x90;
    put(11, 512, 2), put(13, 1, 1), put(14, kReserved, 2), put(16, 1, 1), put(21, 0xF8, 1);
    put(32, sectors, 4), put(36, tableSectors, 4), put(44, 2, 4), put(48, 1, 2);
    card[510] = 0x55, card[511] = 0xAA;
    const std::size_t photoSectors = 8;
    for (std::size_t c = 2; c < clusters + 2; ++c) {
        put(kReserved * 512 + c * 4, c + 1 < clusters + 2 ? c + 1 : 2, 4);
        const std::size_t at = (dataSector + c - 2) * 512;
        if (dataSector + c - 2 >= sectors - photoSectors) continue;
        std::copy_n(".          ", 11, card.begin() + static_cast<std::ptrdiff_t>(at));
        std::copy_n("..         ", 11, card.begin() + static_cast<std::ptrdiff_t>(at + 32));
        card[at + 11] = card[at + 43] = 0x10;
        put(at + 26, c, 2), put(at + 20, c >> 16, 2);
        put(at + 32 + 26, c - 1, 2), put(at + 32 + 20, (c - 1) >> 16, 2);
        for (std::size_t e = 2; e < 16; ++e) {
            const std::size_t entry = at + e * 32;
            std::copy_n("IMG_0001JPG", 11, card.begin() + static_cast<std::ptrdiff_t>(entry));
            card[entry + 4] = static_cast<std::uint8_t>('0' + e % 10);
            card[entry + 11] = 0x20;
            put(entry + 24, (44u << 9) | (5u << 5) | 6u, 2);
            put(entry + 26, 2, 2);
            put(entry + 28, 0xFFFFFFFFu, 4);
        }
    }
    const Bytes photo = TinyJpeg(photoSectors * 512 - 100, 9);
    std::copy(photo.begin(), photo.end(), card.end() - static_cast<std::ptrdiff_t>(photoSectors * 512));
    return card;
}

}  // namespace kelvara::testing
