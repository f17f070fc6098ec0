#pragma once
// The about box: name, version, description, the logo, and a way to the operating system's
// System Information tool.

#include <QDialog>

#include "platform/platform.h"

class QFrame;
class QLabel;
class QPushButton;

namespace kelvara {

class frmAbout : public QDialog {
    Q_OBJECT

public:
    // platform must outlive the box.
    explicit frmAbout(Platform& platform);

    QLabel* Image2;  // the camera
    QLabel* Image1;  // the logo banner
    QLabel* Label1;
    QLabel* lblVersion;
    QLabel* lblDescription;
    QFrame* Line1;  // a line cut into the box: gray above white
    QPushButton* cmdOK;
    QPushButton* cmdSysInfo;

    // Starts the System Information tool, or says that it is unavailable.
    void StartSysInfo();

private:
    void Form_Load();
    void cmdOK_Click();
    void cmdSysInfo_Click();

    Platform& platform_;
};

}  // namespace kelvara
