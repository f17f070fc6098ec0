#pragma once
// What a directory list box shows: the chain of folders from the drive's root down to the open
// one, then its subfolders, each indented by its depth. Paths are DOS paths without a trailing
// backslash, except a drive's root ("C:\").

#include <string>
#include <vector>

#include "platform/platform.h"

namespace kelvara {

class DirList {
public:
    struct Entry {
        std::string label;  // the folder's name, indented two spaces for each level below the root
        std::string path;
    };

    explicit DirList(Platform& platform) : platform_(platform) {}

    const std::string& path() const { return path_; }
    const std::vector<Entry>& entries() const { return entries_; }
    std::vector<std::string> Labels() const;

    // The highlighted entry: the open folder after every listing, then where the user moved it.
    int highlighted() const { return highlighted_; }
    void Highlight(int row);
    // The folder a person has chosen: the highlighted entry (a single click highlights a folder,
    // a double click opens it), or the open folder when none is highlighted.
    std::string HighlightedPath() const;

    // Opens a folder; false, with the list unchanged, when it cannot be listed.
    bool setPath(const std::string& path);
    // Opens the folder of entry `row`.
    bool Open(int row);
    // Lists the open folder again, so a folder made meanwhile shows. A folder that went away
    // shows its chain only.
    void refresh();

private:
    void Fill(const std::vector<std::string>& subfolders);

    Platform& platform_;
    std::string path_;
    std::vector<Entry> entries_;
    int highlighted_ = -1;
};

// "C:\\Photos" and "C:\Photos\" are C:\Photos; "c:" is C:\.
std::string NormalFolderPath(const std::string& path);
// A folder and a name joined by one backslash.
std::string JoinFolder(const std::string& folder, const std::string& name);

}  // namespace kelvara
