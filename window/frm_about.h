#pragma once
// The about box: name, version, description, the logo, and a way to the operating system's
// System Information tool.

#include "platform/platform.h"
#include "window/window_core.h"

namespace kelvara {

class frmAbout : public WindowCore {
public:
    // platform must outlive the box. The box belongs to no other window.
    frmAbout(Platform& platform, Toolkit& toolkit);

    // Starts the System Information tool, or says that it is unavailable.
    void StartSysInfo();
    void cmdOK_Click();
    void cmdSysInfo_Click();

    void Clicked(int control) override;

private:
    void Form_Load();

    Platform& platform_;
};

}  // namespace kelvara
