#include "scan/entry_name.h"

#include <string_view>

namespace kelvara {

std::string EntryName(const std::string& prefix, std::int64_t index, FileKind kind) {
    const std::int64_t number = index + 1;
    const char* pad = number < 10 ? "00" : number < 100 ? "0" : "";
    return prefix + pad + std::to_string(number) + std::string(formats::ExtensionOf(kind));
}

bool IsUsablePrefix(const std::string& prefix) {
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        const auto c = static_cast<unsigned char>(prefix[i]);
        if (c < 0x20 || c == 0x7F || std::string_view("\\/:*?\"<>|").find(static_cast<char>(c)) != std::string_view::npos)
            return false;
        // U+0080 to U+009F, the second block of control characters.
        if (c == 0xC2 && i + 1 < prefix.size() && static_cast<unsigned char>(prefix[i + 1]) <= 0x9F &&
            static_cast<unsigned char>(prefix[i + 1]) >= 0x80)
            return false;
    }
    return true;
}

}  // namespace kelvara
