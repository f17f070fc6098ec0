#pragma once
// The help window: a browser on the quick-start page the program carries, filling the window.
// Where the browser cannot show pages, the same text is shown as formatted text.

#include "window/window_core.h"

namespace kelvara {

class FrmBrowser : public WindowCore {
public:
    // A window of its own, belonging to no other.
    explicit FrmBrowser(Toolkit& toolkit);

    // Loads the page at `address` in WB and returns at once.
    void Navigate(const std::string& address);

    void Resized(Size client) override { Form_Resize(client); }

private:
    void Form_Load();
    void Form_Resize(Size client);
};

}  // namespace kelvara
