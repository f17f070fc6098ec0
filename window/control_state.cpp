#include "window/control_state.h"

namespace kelvara {

ControlState::ControlState(const WindowLayout& layout) {
    texts_[0] = layout.title;
    for (const ControlLayout& control : layout.controls) texts_[control.id] = control.caption;
}

const std::string& ControlState::Text(int control) const {
    static const std::string none;
    const auto found = texts_.find(control);
    return found == texts_.end() ? none : found->second;
}

void ControlState::SetText(int control, const std::string& text) {
    std::string& now = texts_[control];
    if (now == text) return;
    now = text;
    if (view_) view_->SetText(control, text);
}

namespace {

// A control is enabled and visible until it is said otherwise.
bool FlagOf(const std::map<int, bool>& flags, int control) {
    const auto found = flags.find(control);
    return found == flags.end() || found->second;
}

}  // namespace

bool ControlState::Enabled(int control) const { return FlagOf(enabled_, control); }

bool ControlState::Visible(int control) const { return FlagOf(visible_, control); }

void ControlState::SetEnabled(int control, bool enabled) {
    if (Enabled(control) == enabled) return;
    enabled_[control] = enabled;
    if (view_) view_->SetEnabled(control, enabled);
}

void ControlState::SetVisible(int control, bool visible) {
    if (Visible(control) == visible) return;
    visible_[control] = visible;
    if (view_) view_->SetVisible(control, visible);
}

bool ControlState::Checked(int control) const {
    const auto found = checked_.find(control);
    return found != checked_.end() && found->second;
}

void ControlState::SetChecked(int control, bool checked) {
    if (Checked(control) == checked) return;
    checked_[control] = checked;
    if (view_) view_->SetChecked(control, checked);
}

}  // namespace kelvara
