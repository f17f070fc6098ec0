#pragma once
// A window core's record of what its controls show. The core reads its own record (never the
// screen back), and every change is handed to the view as it is made.

#include <map>
#include <string>

#include "window/layout.h"
#include "window/view.h"

namespace kelvara {

class ControlState {
public:
    // The captions of `layout` are the controls' first texts; `view` may be set later.
    explicit ControlState(const WindowLayout& layout);

    void Attach(WindowView* view) { view_ = view; }

    const std::string& Text(int control) const;
    void SetText(int control, const std::string& text);
    bool Enabled(int control) const;
    void SetEnabled(int control, bool enabled);
    bool Visible(int control) const;
    void SetVisible(int control, bool visible);
    bool Checked(int control) const;
    void SetChecked(int control, bool checked);
    // A box the user ticked or cleared: recorded, not handed back to the view.
    void Ticked(int control, bool checked) { checked_[control] = checked; }
    // A text the user typed: recorded, not handed back to the view that showed it.
    void Typed(int control, const std::string& text) { texts_[control] = text; }

private:
    WindowView* view_ = nullptr;
    std::map<int, std::string> texts_;
    std::map<int, bool> enabled_;
    std::map<int, bool> visible_;
    std::map<int, bool> checked_;
};

}  // namespace kelvara
