#pragma once
#include <QListWidget>
#include <string>

#include "platform/platform.h"

namespace kelvara {

// A directory list box: the chain of folders down to the open one, then its subfolders.
// Double click or Enter opens a folder. Paths are DOS paths without a trailing backslash,
// except a drive's root ("C:\").
class DirList : public QListWidget {
    Q_OBJECT
public:
    explicit DirList(Platform& platform, QWidget* parent = nullptr);

    const std::string& path() const { return path_; }
    // The folder a person has chosen: the highlighted entry (a single click highlights a folder,
    // a double click opens it), or the open folder when none is highlighted.
    std::string HighlightedPath() const;
    // Opens a folder; false, with the list unchanged, when it cannot be listed.
    bool setPath(const std::string& path);
    // Lists the open folder again, so a folder made meanwhile shows.
    void refresh();

    // The folder an entry stands for.
    static std::string EntryPath(const QListWidgetItem* item);

signals:
    void pathChanged(const QString& path);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Open(QListWidgetItem* item);
    void Fill(const std::vector<std::string>& subfolders);

    Platform& platform_;
    std::string path_;
};

// "C:\\Photos" and "C:\Photos\" are C:\Photos; "c:" is C:\.
std::string NormalFolderPath(const std::string& path);
// A folder and a name joined by one backslash.
std::string JoinFolder(const std::string& folder, const std::string& name);

}  // namespace kelvara
