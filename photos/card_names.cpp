#include "photos/card_names.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "platform/last_error_text.h"

namespace kelvara {
namespace {

constexpr std::size_t kMostPartBytes = 200;
constexpr std::size_t kMostFolders = 16;

std::string SafePart(const std::string& part) {
    std::string safe;
    for (const char c : part) {
        const auto u = static_cast<unsigned char>(c);
        const bool bad = u < 0x20 || u == 0x7F || std::string_view("<>:\"/\\|?*").find(c) != std::string_view::npos;
        safe += bad ? '_' : c;
    }
    // Windows drops trailing dots and spaces; a leading space is easily lost too.
    while (!safe.empty() && (safe.back() == '.' || safe.back() == ' ')) safe.pop_back();
    while (!safe.empty() && safe.front() == ' ') safe.erase(safe.begin());
    if (safe.empty()) return {};
    // Device names are no files on Windows, whatever their extension.
    std::string stem = safe.substr(0, safe.find('.'));
    std::transform(stem.begin(), stem.end(), stem.begin(), [](unsigned char c) { return std::toupper(c); });
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL"};
    bool device = std::find_if(std::begin(kDevices), std::end(kDevices), [&](const char* d) { return stem == d; }) !=
                  std::end(kDevices);
    if (stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) && stem[3] >= '0' && stem[3] <= '9')
        device = true;
    if (device) safe.insert(safe.begin(), '_');
    // What Kelvara's own temporaries are called is not a photo's name: the next save would remove it.
    for (std::size_t at; (at = safe.find(".kelvara-")) != std::string::npos;) safe[at] = '_';
    if (safe.size() > kMostPartBytes) {
        const std::size_t dot = safe.rfind('.');
        const std::string ext = dot != std::string::npos && safe.size() - dot <= 16 ? safe.substr(dot) : "";
        std::size_t keep = kMostPartBytes - ext.size();
        while (keep > 0 && (static_cast<unsigned char>(safe[keep]) & 0xC0) == 0x80) --keep;  // whole UTF-8 characters
        safe = safe.substr(0, keep) + ext;
    }
    return safe;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

}  // namespace

std::optional<std::string> CardRelativePath(const CardFile& file) {
    const std::string name = SafePart(file.name);
    if (name.empty()) return std::nullopt;
    std::vector<std::string> folders;
    std::size_t from = 0;
    while (from <= file.folder.size() && !file.folder.empty()) {
        const std::size_t slash = std::min(file.folder.find('/', from), file.folder.size());
        const std::string part = SafePart(file.folder.substr(from, slash - from));
        if (!part.empty()) folders.push_back(part);
        from = slash + 1;
    }
    if (folders.size() > kMostFolders) folders.erase(folders.begin(), folders.end() - kMostFolders);
    std::string path;
    for (const std::string& folder : folders) path += folder + "\\";
    return path + name;
}

std::optional<std::string> CardNames::Take(Platform& platform, const std::string& folder, const std::string& relative,
                                           std::string& failure) {
    for (std::size_t at = relative.find('\\'); at != std::string::npos; at = relative.find('\\', at + 1)) {
        const std::string part = folder + "\\" + relative.substr(0, at);
        const DWORD attributes = platform.GetFileAttributesA(part);
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            if (!platform.CreateDirectoryA(part) && platform.GetLastError() != ERROR_ALREADY_EXISTS) {
                failure = "the folder " + part + " cannot be made: " + LastErrorText(platform);
                return std::nullopt;
            }
        } else if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            failure = part + " is not a folder of its own (a file, or a link that may lead elsewhere).";
            return std::nullopt;
        }
    }
    const std::size_t slash = relative.rfind('\\');
    const std::size_t dot = relative.rfind('.');
    const bool hasExt = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    const std::string stem = hasExt ? relative.substr(0, dot) : relative;
    const std::string ext = hasExt ? relative.substr(dot) : "";
    for (int n = 1;; ++n) {
        const std::string candidate = n == 1 ? relative : stem + " (" + std::to_string(n) + ")" + ext;
        if (taken_.insert(Lower(candidate)).second) return folder + "\\" + candidate;
    }
}

}  // namespace kelvara
