#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>

#include "scan/found_photo.h"

namespace kelvara {

// The kind of photo whose signature starts these bytes (the start of a sector), if any.
// JPEG (FF D8) is tested first, then GIF89a; nothing else is recognised.
inline std::optional<PhotoKind> SignatureAt(const std::uint8_t* start, std::size_t available) {
    if (available >= 2 && start[0] == 0xFF && start[1] == 0xD8) return PhotoKind::Jpeg;
    if (available >= 6 && start[0] == 'G' && start[1] == 'I' && start[2] == 'F' && start[3] == '8' &&
        start[4] == '9' && start[5] == 'a')
        return PhotoKind::Gif;
    return std::nullopt;
}

}  // namespace kelvara
