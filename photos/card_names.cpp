#include "photos/card_names.h"

#include <algorithm>
#include <cctype>
#include <vector>


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

}  // namespace kelvara
