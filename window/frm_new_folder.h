#pragma once
// "Create new folder": makes path + Text1. The opener sets `path`, shows the dialog and yields
// until `done`; Ok closes the window but keeps the core, so the opener can still read Text1, and
// the opener then lets it go. Ok with no name typed asks for one and leaves the dialog open.

#include <string>

#include "platform/platform.h"
#include "window/window_core.h"

namespace kelvara {

class frmNewFolder : public WindowCore {
public:
    frmNewFolder(Platform& platform, Toolkit& toolkit, WindowView* owner);

    std::string path;   // the folder to make the new one in, with a trailing backslash
    bool done = false;  // set by Ok (with a name), Cancel and the close box
    bool made = false;  // the folder path + Text1 now exists

    // The folder that was made.
    std::string MadePath() const;

    void Command1_Click();
    void Command2_Click();

    void Clicked(int control) override;

protected:
    bool OnCloseBox() override;

private:
    Platform& platform_;
};

}  // namespace kelvara
