#pragma once
// Answers the destination-folder dialog for a window test: opens a folder in it and presses
// OK, or Cancel when no folder is given.

#include <QApplication>
#include <QPushButton>
#include <QSet>
#include <QTimer>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "photos/dir_list.h"
#include "photos/save_folder.h"

namespace kelvara::testing {

class DestinationAnswer {
public:
    // `beforeOk` runs with the folder open in the dialog, just before OK is pressed: the user
    // or the system acting while the dialog is up.
    explicit DestinationAnswer(std::string folder, std::function<void()> beforeOk = {})
        : folder_(std::move(folder)), beforeOk_(std::move(beforeOk)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                auto* dialog = qobject_cast<SaveFolder*>(widget);
                if (!dialog || !dialog->isVisible() || answered_.contains(dialog)) continue;
                answered_.insert(dialog);
                if (folder_.empty()) {
                    dialog->CancelButton->click();
                } else {
                    EXPECT_TRUE(dialog->Dir1->setPath(folder_)) << folder_;
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
    std::string folder_;
    std::function<void()> beforeOk_;
    QTimer timer_;
    QSet<QWidget*> answered_;
};

}  // namespace kelvara::testing
