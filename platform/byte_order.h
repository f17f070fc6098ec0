#pragma once
// Little-endian fields of on-disk and register structures, read and written byte by byte so
// that neither alignment nor the host's byte order matters.

#include <cstddef>
#include <cstdint>
#include <span>

namespace kelvara {

inline std::uint16_t LoadLe16(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8);
}
inline std::uint32_t LoadLe32(std::span<const std::uint8_t> bytes, std::size_t at) {
    return std::uint32_t{bytes[at]} | std::uint32_t{bytes[at + 1]} << 8 | std::uint32_t{bytes[at + 2]} << 16 |
           std::uint32_t{bytes[at + 3]} << 24;
}
inline std::uint64_t LoadLe64(std::span<const std::uint8_t> bytes, std::size_t at) {
    return std::uint64_t{LoadLe32(bytes, at)} | std::uint64_t{LoadLe32(bytes, at + 4)} << 32;
}
inline void StoreLe16(std::span<std::uint8_t> bytes, std::size_t at, std::uint16_t value) {
    bytes[at] = static_cast<std::uint8_t>(value);
    bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
}
inline void StoreLe32(std::span<std::uint8_t> bytes, std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}
inline void StoreLe64(std::span<std::uint8_t> bytes, std::size_t at, std::uint64_t value) {
    for (std::size_t i = 0; i < 8; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace kelvara
