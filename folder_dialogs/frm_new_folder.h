#pragma once
#include <QDialog>
#include <string>

#include "platform/platform.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace kelvara {

// "Create new folder": makes path + Text1. The opener sets `path`, shows the dialog modeless
// and yields until `done`; Ok only hides it, so the opener can still read Text1, and the
// opener deletes it. Ok with no name typed asks for one and leaves the dialog open.
class frmNewFolder : public QDialog {
    Q_OBJECT
public:
    explicit frmNewFolder(Platform& platform, QWidget* parent = nullptr);

    std::string path;   // the folder to make the new one in, with a trailing backslash
    bool done = false;  // set by Ok (with a name), Cancel and the close box
    bool made = false;  // the folder path + Text1 now exists

    QLabel* Label1;
    QLineEdit* Text1;
    QPushButton* Command1;
    QPushButton* Command2;

    // The folder that was made.
    std::string MadePath() const;

    void Command1_Click();
    void Command2_Click();

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    Platform& platform_;
};

}  // namespace kelvara
