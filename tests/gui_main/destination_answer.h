#pragma once
// Answers the destination-folder dialog of a Qt main window for a test: opens a folder in it and
// presses its real OK button, or Cancel when no folder is given.

#include <QPushButton>
#include <QTimer>
#include <string>

#include <gtest/gtest.h>

#include "window/control_ids.h"
#include "window/frm_main.h"
#include "window/save_folder.h"
#include "window_qt/qt_window.h"

namespace kelvara::testing {

class DestinationAnswer {
public:
    DestinationAnswer(FrmMain& window, std::string folder) {
        QObject::connect(&timer_, &QTimer::timeout, [this, &window, folder] {
            SaveFolder* dialog = window.DestinationDialog();
            if (!dialog || dialog->closed() || !dialog->view().IsShown()) return;
            auto& view = dynamic_cast<qt::QtWindow&>(dialog->view());
            ++answered_;
            if (folder.empty()) {
                view.ControlAs<QPushButton>(ids::save_folder::CancelButton)->click();
            } else {
                EXPECT_TRUE(dialog->Dir1_SetPath(folder)) << folder;
                view.ControlAs<QPushButton>(ids::save_folder::OKButton)->click();
            }
        });
        timer_.start(5);
    }
    int answered() const { return answered_; }

private:
    QTimer timer_;
    int answered_ = 0;
};

}  // namespace kelvara::testing
