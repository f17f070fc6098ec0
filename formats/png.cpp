// PNG: the eight-byte signature, then chunks (length, type, data, CRC of type and data) up to
// IEND. Every chunk's CRC is checked, so a file whose data continue elsewhere on the card (a
// fragmented one) or that was partly overwritten ends nowhere instead of somewhere wrong.

#include <array>

#include "formats/byte_reader.h"
#include "formats/format.h"

namespace kelvara::formats::png {
namespace {

constexpr std::uint64_t kSectorBytes = 512;
constexpr std::array<std::uint8_t, 8> kSignature = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

// CRC-32 (the polynomial of PNG and zip), eight bytes a step.
class Crc32 {
public:
    Crc32() {
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table_[0][i] = c;
        }
        for (std::size_t t = 1; t < 8; ++t)
            for (std::size_t i = 0; i < 256; ++i) table_[t][i] = (table_[t - 1][i] >> 8) ^ table_[0][table_[t - 1][i] & 0xFF];
    }
    std::uint32_t Update(std::uint32_t crc, std::span<const std::uint8_t> bytes) const {
        crc = ~crc;
        std::size_t i = 0;
        for (; i + 8 <= bytes.size(); i += 8) {
            const std::uint32_t low = crc ^ LoadLe32(bytes, i);
            const std::uint32_t high = LoadLe32(bytes, i + 4);
            crc = table_[7][low & 0xFF] ^ table_[6][(low >> 8) & 0xFF] ^ table_[5][(low >> 16) & 0xFF] ^
                  table_[4][low >> 24] ^ table_[3][high & 0xFF] ^ table_[2][(high >> 8) & 0xFF] ^
                  table_[1][(high >> 16) & 0xFF] ^ table_[0][high >> 24];
        }
        for (; i < bytes.size(); ++i) crc = table_[0][(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
        return ~crc;
    }

private:
    std::array<std::array<std::uint32_t, 256>, 8> table_{};
};

bool Letter(std::uint8_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

}  // namespace

Extension Identify(Head head) {
    if (head.size() < 16 || head[0] != kSignature[0] || head[1] != 'P') return std::nullopt;
    for (std::size_t i = 2; i < kSignature.size(); ++i)
        if (head[i] != kSignature[i]) return std::nullopt;
    // The first chunk is always the 13-byte image header.
    if (LoadBe32(head, 8) != 13 || !Spells(head, 12, "IHDR")) return std::nullopt;
    return ".PNG";
}

std::optional<std::uint64_t> Length(ByteSource& bytes) {
    static const Crc32 crc32;
    std::array<std::uint8_t, 8> field{};
    if (!ReadAt(bytes, 0, field) || field != kSignature) return std::nullopt;
    for (std::uint64_t at = kSignature.size(), chunks = 0;; ++chunks) {
        if (!ReadAt(bytes, at, field)) return std::nullopt;
        const std::uint32_t length = LoadBe32(field, 0);
        if (length > 0x7FFFFFFFu) return std::nullopt;
        for (std::size_t i = 4; i < 8; ++i)
            if (!Letter(field[i])) return std::nullopt;
        if (chunks == 0 && (length != 13 || !Spells(field, 4, "IHDR"))) return std::nullopt;

        std::uint32_t crc = crc32.Update(0, std::span(field).subspan(4));
        std::uint64_t data = at + 8;
        // A chunk that reaches past what the card holds cannot be whole: said without reading it.
        std::array<std::uint8_t, 1> last{};
        if (!ReadAt(bytes, data + length + 3, last)) return std::nullopt;
        for (std::uint64_t left = length; left > 0;) {
            const auto piece = bytes.From(data);
            if (piece.empty()) return std::nullopt;
            const auto take = static_cast<std::size_t>(std::min<std::uint64_t>(piece.size(), left));
            // Nor one that runs into another PNG starting a sector: the walk ends where that begins,
            // so a card of such chunks costs one read of it, not one for every entry.
            for (std::uint64_t sector = (data + kSectorBytes - 1) / kSectorBytes * kSectorBytes; sector < data + take;
                 sector += kSectorBytes) {
                const auto head = piece.subspan(static_cast<std::size_t>(sector - data));
                if (head.size() >= 16 && Identify(head.first(16))) return std::nullopt;
            }
            crc = crc32.Update(crc, piece.first(take));
            data += take;
            left -= take;
        }
        std::array<std::uint8_t, 4> stored{};
        if (!ReadAt(bytes, data, stored) || LoadBe32(stored, 0) != crc) return std::nullopt;
        at = data + 4;
        if (Spells(field, 4, "IEND")) return length == 0 ? std::optional<std::uint64_t>(at) : std::nullopt;
    }
}

namespace {

kelvara::Walk Structure(ByteSource& bytes) { return WalkOfLength(Length(bytes)); }

constexpr Signature kSignatures[] = {{0, "\x89PNG\r\n\x1A\n"}};
constexpr Variant kVariants[] = {{".PNG", "png", Shown::AsItIs}};

}  // namespace

const Format kFormat = {"PNG", kSignatures, true, Identify, kVariants, Structure, HeadShowsImage,
                        std::nullopt, nullptr, nullptr, nullptr};

}  // namespace kelvara::formats::png
