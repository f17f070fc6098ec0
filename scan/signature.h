#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kelvara {

inline constexpr const char* kJpegKind = ".JPG";
inline constexpr const char* kGifKind = ".GIF";

// The kind of photo whose signature starts these bytes (the start of a sector), or nullptr.
// JPEG (FF D8) is tested first, then GIF89a; nothing else is recognised.
inline const char* PhotoKind(const std::uint8_t* start, std::size_t available) {
    if (available >= 2 && start[0] == 0xFF && start[1] == 0xD8) return kJpegKind;
    if (available >= 6 && start[0] == 'G' && start[1] == 'I' && start[2] == 'F' && start[3] == '8' &&
        start[4] == '9' && start[5] == 'a')
        return kGifKind;
    return nullptr;
}

// FF D9 ends a JPEG, 00 3B a GIF.
std::vector<std::uint8_t> EndMarkerFor(const char* kind);

}  // namespace kelvara
