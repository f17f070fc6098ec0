#pragma once
// The options dialog: the name prefix that found photos get in the list and as saved files, and
// whether saved photos take the card's own folders and names where it still knows them.

#include <functional>
#include <string>

#include "window/window_core.h"

namespace kelvara {

class frmOptions : public WindowCore {
public:
    // Prefix and CardNames are the main window's, which OK writes; they must outlive the dialog.
    // Owned by that window's view (`owner`), the dialog stays above it. `changed` runs when OK has
    // taken a new prefix.
    frmOptions(Toolkit& toolkit, std::string& Prefix, WindowView* owner = nullptr, std::function<void()> changed = {},
               bool* CardNames = nullptr);
    ~frmOptions() override;

    void Show() override;
    void cmdOK_Click();
    void cmdCancel_Click();

    void Clicked(int control) override;

private:
    void Form_Load();
    // Centred on the screen, but never exactly over another Options dialog.
    void CentreOnScreen();

    std::string& Prefix_;
    std::function<void()> changed_;
    bool* CardNames_;
};

}  // namespace kelvara
