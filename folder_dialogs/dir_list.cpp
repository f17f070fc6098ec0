#include "folder_dialogs/dir_list.h"

#include <QKeyEvent>
#include <algorithm>
#include <cctype>

namespace kelvara {
namespace {

constexpr int kPathRole = Qt::UserRole;

std::string ListPattern(const std::string& folder) { return JoinFolder(folder, "*.*"); }

bool LessIgnoringCase(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
    });
}

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

DirList::DirList(Platform& platform, QWidget* parent) : QListWidget(parent), platform_(platform) {
    connect(this, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) { Open(item); });
}

std::string DirList::EntryPath(const QListWidgetItem* item) {
    return item ? item->data(kPathRole).toString().toStdString() : std::string();
}

std::string DirList::HighlightedPath() const {
    const std::string highlighted = EntryPath(currentItem());
    return highlighted.empty() ? path_ : highlighted;
}

bool DirList::setPath(const std::string& path) {
    const std::string folder = NormalFolderPath(path);
    const auto entries = platform_.FindFiles(ListPattern(folder));
    if (!entries) return false;
    std::vector<std::string> subfolders;
    for (const FindData& entry : *entries) {
        const DWORD attributes = entry.dwFileAttributes;
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_HIDDEN))
            subfolders.push_back(entry.cFileName);
    }
    std::sort(subfolders.begin(), subfolders.end(), LessIgnoringCase);
    const bool changed = folder != path_;
    path_ = folder;
    Fill(subfolders);
    if (changed) emit pathChanged(QString::fromStdString(path_));
    return true;
}

void DirList::refresh() {
    if (!setPath(path_)) {
        // The folder went away: show what is known of it rather than stale subfolders.
        Fill({});
    }
}

void DirList::Fill(const std::vector<std::string>& subfolders) {
    clear();
    // The chain from the root down: "C:\", "Work", "Photos".
    std::vector<std::pair<std::string, std::string>> chain;  // shown name, full path
    const std::size_t rootEnd = path_.find('\\');
    std::string sofar = path_.substr(0, rootEnd == std::string::npos ? path_.size() : rootEnd + 1);
    chain.emplace_back(sofar, sofar);
    std::size_t at = sofar.size();
    while (at < path_.size()) {
        const std::size_t cut = path_.find('\\', at);
        const std::string name = path_.substr(at, cut == std::string::npos ? std::string::npos : cut - at);
        sofar = JoinFolder(sofar, name);
        chain.emplace_back(name, sofar);
        if (cut == std::string::npos) break;
        at = cut + 1;
    }
    int level = 0;
    for (const auto& [name, full] : chain) {
        auto* item = new QListWidgetItem(QString(level * 2, ' ') + QString::fromStdString(name), this);
        item->setData(kPathRole, QString::fromStdString(full));
        ++level;
    }
    setCurrentRow(count() - 1);
    for (const std::string& name : subfolders) {
        auto* item = new QListWidgetItem(QString(level * 2, ' ') + QString::fromStdString(name), this);
        item->setData(kPathRole, QString::fromStdString(JoinFolder(path_, name)));
    }
}

void DirList::Open(QListWidgetItem* item) {
    const std::string target = EntryPath(item);
    if (!target.empty()) setPath(target);
}

void DirList::keyPressEvent(QKeyEvent* event) {
    // Enter opens the folder here; it must not reach the dialog and press its default button.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        Open(currentItem());
        event->accept();
        return;
    }
    QListWidget::keyPressEvent(event);
}

}  // namespace kelvara
