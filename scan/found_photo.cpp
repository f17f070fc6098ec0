#include "scan/found_photo.h"

#include <algorithm>
#include <ostream>

namespace kelvara {

const char* KindExtension(PhotoKind kind) { return kind == PhotoKind::Gif ? ".GIF" : ".JPG"; }

EndMarkerBytes EndMarkerOf(PhotoKind kind) {
    if (kind == PhotoKind::Gif) return {0x00, 0x3B};
    return {0xFF, 0xD9};
}

DriveText::DriveText(const std::string& text) {
    std::copy_n(text.begin(), std::min(text.size(), text_.size() - 1), text_.begin());
}

std::ostream& operator<<(std::ostream& out, const DriveText& drive) { return out << drive.str(); }

}  // namespace kelvara
