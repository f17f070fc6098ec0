#include "formats/heif_preview.h"

namespace kelvara::formats {

HeifPreview HeifToJpeg(std::span<const std::uint8_t>, int) {
    return {{}, "This build of Kelvara has no HEIC/AVIF decoder; save the photo to view it."};
}

}  // namespace kelvara::formats
