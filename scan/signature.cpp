#include "scan/signature.h"

#include <string_view>

namespace kelvara {

std::vector<std::uint8_t> EndMarkerFor(const char* kind) {
    if (std::string_view(kind) == kGifKind) return {0x00, 0x3B};
    return {0xFF, 0xD9};
}

}  // namespace kelvara
