#include "window/dir_list.h"

#include <algorithm>
#include <cctype>

namespace kelvara {
namespace {

bool LessIgnoringCase(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
    });
}

std::string Indented(int level, const std::string& name) { return std::string(2 * level, ' ') + name; }

}  // namespace

std::string NormalFolderPath(const std::string& path) {
    std::string out;
    for (std::size_t i = 0; i < path.size(); ++i) {
        // A leading pair is a network name and stays; elsewhere a run of backslashes is one.
        if (path[i] == '\\' && i > 1 && !out.empty() && out.back() == '\\') continue;
        out += path[i];
    }
    if (out.size() == 2 && out[1] == ':') out += '\\';
    const bool root = out.size() == 3 && out[1] == ':';
    if (!root && out.size() > 1 && out.back() == '\\') out.pop_back();
    return out;
}

std::string JoinFolder(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == '\\') return folder + name;
    return folder + "\\" + name;
}

std::vector<std::string> DirList::Labels() const {
    std::vector<std::string> labels;
    labels.reserve(entries_.size());
    for (const Entry& entry : entries_) labels.push_back(entry.label);
    return labels;
}

void DirList::Highlight(int row) {
    if (row >= -1 && row < static_cast<int>(entries_.size())) highlighted_ = row;
}

std::string DirList::HighlightedPath() const {
    if (highlighted_ < 0 || highlighted_ >= static_cast<int>(entries_.size())) return path_;
    return entries_[static_cast<std::size_t>(highlighted_)].path;
}

bool DirList::setPath(const std::string& path) {
    const std::string folder = NormalFolderPath(path);
    const auto found = platform_.FindFiles(JoinFolder(folder, "*.*"));
    if (!found) return false;
    std::vector<std::string> subfolders;
    for (const FindData& entry : *found) {
        const DWORD attributes = entry.dwFileAttributes;
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_HIDDEN))
            subfolders.push_back(entry.cFileName);
    }
    std::sort(subfolders.begin(), subfolders.end(), LessIgnoringCase);
    path_ = folder;
    Fill(subfolders);
    return true;
}

bool DirList::Open(int row) {
    if (row < 0 || row >= static_cast<int>(entries_.size())) return false;
    return setPath(entries_[static_cast<std::size_t>(row)].path);
}

void DirList::refresh() {
    if (!setPath(path_)) Fill({});
}

void DirList::Fill(const std::vector<std::string>& subfolders) {
    entries_.clear();
    // The chain from the root down: "C:\", "Work", "Photos".
    const std::size_t rootEnd = path_.find('\\');
    std::string sofar = path_.substr(0, rootEnd == std::string::npos ? path_.size() : rootEnd + 1);
    int level = 0;
    entries_.push_back({Indented(level++, sofar), sofar});
    std::size_t at = sofar.size();
    while (at < path_.size()) {
        const std::size_t cut = path_.find('\\', at);
        const std::string name = path_.substr(at, cut == std::string::npos ? std::string::npos : cut - at);
        sofar = JoinFolder(sofar, name);
        entries_.push_back({Indented(level++, name), sofar});
        if (cut == std::string::npos) break;
        at = cut + 1;
    }
    highlighted_ = static_cast<int>(entries_.size()) - 1;
    for (const std::string& name : subfolders) entries_.push_back({Indented(level, name), JoinFolder(path_, name)});
}

}  // namespace kelvara
