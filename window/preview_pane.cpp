#include "window/preview_pane.h"

#include <cstdint>
#include <vector>

namespace kelvara {
namespace {

// The preview's pages are a line or two; a longer file is not one of them.
constexpr std::size_t kLongestPage = 64 * 1024;

std::string PageText(Platform& platform, const std::string& path) {
    const HANDLE file = platform.CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::vector<std::uint8_t> bytes(kLongestPage);
    std::size_t have = 0;
    DWORD read = 0;
    while (have < bytes.size() && platform.ReadFile(file, std::span(bytes).subspan(have), read) && read > 0) have += read;
    platform.CloseHandle(file);
    return std::string(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(have));
}

}  // namespace

PaneWithoutBrowser PaneFromPreview(Platform& platform, const std::string& tempFolder, const std::string& pagePath) {
    // Each preview writes TB.jpg afresh or removes it: one that is there is this photo's.
    const std::string picture = tempFolder + "TB.jpg";
    if (platform.GetFileAttributesA(picture) != INVALID_FILE_ATTRIBUTES) return {picture, {}};
    return {std::nullopt, ParseHelpPage(PageText(platform, pagePath))};
}

}  // namespace kelvara
