#include "window/window_core.h"

#include <utility>

namespace kelvara {

WindowCore::WindowCore(Toolkit& toolkit, WindowLayout layout)
    : toolkit_(toolkit), layout_(std::move(layout)), controls_(layout_) {}

WindowCore::~WindowCore() = default;

void WindowCore::MakeView(WindowView* owner) {
    view_ = toolkit_.MakeView(layout_, *this, owner);
    controls_.Attach(view_.get());
}

void WindowCore::Show() {
    if (!closed_) view_->Show();
}

void WindowCore::Close() {
    if (closed_) return;
    closed_ = true;
    view_->Close();
}

bool WindowCore::CloseAsked() {
    if (closed_) return true;
    if (!OnCloseBox()) return false;
    closed_ = true;
    return true;
}

}  // namespace kelvara
