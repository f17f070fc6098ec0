#pragma once
// Answers the destination-folder dialog for a window test: opens a folder in it and presses
// OK, or Cancel when no folder is given.

#include <QApplication>
#include <QPushButton>
#include <QSet>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "folder_dialogs/dir_list.h"
#include "folder_dialogs/save_folder.h"

namespace kelvara::testing {

class DestinationAnswer {
public:
    // `beforeOk` runs with the folder open in the dialog, just before OK is pressed: the user
    // or the system acting while the dialog is up.
    explicit DestinationAnswer(std::string folder, std::function<void()> beforeOk = {})
        : DestinationAnswer(std::vector<std::string>{std::move(folder)}, std::move(beforeOk)) {}
    // One folder for each dialog in turn; the last one for every dialog after them.
    explicit DestinationAnswer(std::vector<std::string> folders, std::function<void()> beforeOk = {})
        : folders_(std::move(folders)), beforeOk_(std::move(beforeOk)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                auto* dialog = qobject_cast<SaveFolder*>(widget);
                if (!dialog || !dialog->isVisible() || answered_.contains(dialog)) continue;
                const std::string& folder = folders_[std::min<std::size_t>(answered_.size(), folders_.size() - 1)];
                answered_.insert(dialog);
                if (folder.empty()) {
                    dialog->CancelButton->click();
                } else {
                    EXPECT_TRUE(dialog->Dir1->setPath(folder)) << folder;
                    if (beforeOk_) beforeOk_();
                    dialog->OKButton->click();
                }
            }
        });
        timer_.start(5);
    }
    // How many dialogs it answered.
    int answered() const { return static_cast<int>(answered_.size()); }

private:
    std::vector<std::string> folders_;
    std::function<void()> beforeOk_;
    QTimer timer_;
    QSet<QWidget*> answered_;
};

}  // namespace kelvara::testing
