#pragma once
// What every window's core has: its layout, its record of the controls, its view, and whether it
// has closed. A window's own class adds its state and its handlers.

#include <memory>

#include "window/control_state.h"
#include "window/layout.h"
#include "window/toolkit.h"
#include "window/view.h"

namespace kelvara {

class WindowCore : public WindowEvents {
public:
    WindowCore(const WindowCore&) = delete;
    WindowCore& operator=(const WindowCore&) = delete;
    ~WindowCore() override;

    const WindowLayout& layout() const { return layout_; }
    const ControlState& controls() const { return controls_; }
    WindowView& view() { return *view_; }
    bool closed() const { return closed_; }

    virtual void Show();
    // Closes the window for good (a view closed by the user has closed itself).
    void Close();

    // The window's close box.
    bool CloseAsked() override;
    void TextChanged(int control, const std::string& text) override { controls_.Typed(control, text); }

protected:
    WindowCore(Toolkit& toolkit, WindowLayout layout);
    // Makes the view, once the layout is final. Called by the window's constructor.
    void MakeView(WindowView* owner);
    // The close box, Escape without a cancel button: what closing means for this window.
    // True lets the view close.
    virtual bool OnCloseBox() { return true; }

    bool Ask(const Message& message) { return toolkit_.ShowMessage(view_.get(), message); }

    Toolkit& toolkit_;
    WindowLayout layout_;
    ControlState controls_;
    std::unique_ptr<WindowView> view_;
    bool closed_ = false;
};

}  // namespace kelvara
