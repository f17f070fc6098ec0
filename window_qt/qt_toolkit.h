#pragma once
// The Qt windows as the core sees them: a QtWindow for every window, QMessageBox for the
// message boxes, Qt's event loop, the primary screen, the layout faces and Qt WebEngine.

#include "window/toolkit.h"

namespace kelvara::qt {

class QtToolkit final : public Toolkit {
public:
    std::unique_ptr<WindowView> MakeView(const WindowLayout& layout, WindowEvents& events, WindowView* owner) override;
    bool ShowMessage(WindowView* owner, const Message& message) override;
    void ProcessEvents() override;
    void WaitForEvents(int milliseconds) override;
    Rect Screen() override;
    Rect WorkArea() override;
    int CaptionWidth(const std::string& caption, WindowLayout::Face face) override;
    int TitleWidth(const std::string& title) override;
    bool BrowserRenders() override { return true; }  // Qt WebEngine shows every page
    std::string HelpPageAddress() override;
    std::string HelpPageText() override;
};

}  // namespace kelvara::qt
