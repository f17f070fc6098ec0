#include "app/drive_combo.h"

#include <QSignalBlocker>
#include <QStringList>
#include <algorithm>

#include "app/drive_list.h"

namespace kelvara {

DriveCombo::DriveCombo(Platform& platform, QWidget* parent) : QComboBox(parent), platform_(platform) {}

void DriveCombo::RefreshDrives() {
    const auto drives = GetDriveList(platform_);
    if (!drives || count() == 0) return;  // the list cannot be read now: keep what it showed
    const QString chosen = currentText();
    QStringList entries{itemText(0)};
    for (const std::string& root : *drives) {
        if (root.empty()) break;
        entries << QString::fromStdString(root);
    }
    if (!entries.contains(chosen)) {
        // Letters keep their order; the chosen drive goes back in its place.
        auto at = std::find_if(entries.begin() + 1, entries.end(), [&](const QString& e) { return e > chosen; });
        entries.insert(at, chosen);
    }
    QStringList shown;
    for (int i = 0; i < count(); ++i) shown << itemText(i);
    if (shown == entries) return;

    const QSignalBlocker quiet(this);
    clear();
    addItems(entries);
    setCurrentIndex(static_cast<int>(entries.indexOf(chosen)));
}

void DriveCombo::showPopup() {
    RefreshDrives();
    QComboBox::showPopup();
}

}  // namespace kelvara
