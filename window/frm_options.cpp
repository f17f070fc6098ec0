#include "window/frm_options.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "scan/entry_name.h"
#include "window/control_ids.h"

namespace kelvara {
namespace {

using namespace ids::frm_options;

// The Options dialogs open now, so a new one steps aside from them.
std::vector<frmOptions*>& OpenDialogs() {
    static std::vector<frmOptions*> dialogs;
    return dialogs;
}

// The layout was drawn for a smaller face than most desktops use: the caption gets the room it
// needs from the text box rather than be clipped.
WindowLayout FittedLayout(Toolkit& toolkit) {
    WindowLayout layout = OptionsLayout();
    ControlLayout& label = *layout.Find(Label1);
    ControlLayout& box = *layout.Find(txtPreFix);
    const int missing = toolkit.CaptionWidth(label.caption, layout.face) - label.rect.width;
    if (missing > 0) {
        label.rect.width += missing;
        box.rect.left += missing;
        box.rect.width -= missing;
    }
    return layout;
}

}  // namespace

frmOptions::frmOptions(Toolkit& toolkit, std::string& Prefix, WindowView* owner, std::function<void()> changed,
                       bool* CardNames)
    : WindowCore(toolkit, FittedLayout(toolkit)), Prefix_(Prefix), changed_(std::move(changed)), CardNames_(CardNames) {
    MakeView(owner);
    controls_.SetChecked(chkCardNames, CardNames_ && *CardNames_);
    OpenDialogs().push_back(this);
    Form_Load();
}

frmOptions::~frmOptions() { std::erase(OpenDialogs(), this); }

void frmOptions::Form_Load() { CentreOnScreen(); }

// The frame is known only once the window is on the screen: centre again with it.
void frmOptions::Show() {
    WindowCore::Show();
    CentreOnScreen();
}

void frmOptions::CentreOnScreen() {
    const Rect screen = toolkit_.Screen();
    if (screen.width <= 0 || screen.height <= 0) return;
    // Halved in floating point, in twips, and handed to the move as they are; only the
    // conversion to whole pixels rounds.
    const Size outer = view_->OuterSize();
    const double left = (screen.width * double(kTwipsPerPixel) - outer.width * double(kTwipsPerPixel)) / 2.0;
    const double top = (screen.height * double(kTwipsPerPixel) - outer.height * double(kTwipsPerPixel)) / 2.0;
    Point at{screen.left + static_cast<int>(std::lround(left / kTwipsPerPixel)),
             screen.top + static_cast<int>(std::lround(top / kTwipsPerPixel))};
    // A second dialog exactly over the first would look like one: it steps down and right by about a
    // title bar, as windows cascade.
    int step = outer.height - layout_.client.height;
    if (step <= 0) step = 24;
    for (bool covered = true; covered;) {
        covered = false;
        for (frmOptions* other : OpenDialogs())
            if (other != this && !other->closed() && other->view_->IsShown() && other->view_->Position() == at) {
                at = {at.x + step, at.y + step};
                covered = true;
            }
    }
    view_->MoveTo(at);
}

void frmOptions::Clicked(int control) {
    if (control == cmdOK) cmdOK_Click();
    if (control == cmdCancel) cmdCancel_Click();
    if (control == chkCardNames) controls_.Ticked(chkCardNames, !controls_.Checked(chkCardNames));
}

void frmOptions::cmdOK_Click() {
    const std::string prefix = controls_.Text(txtPreFix);
    // An empty box means the user did not ask for a change.
    if (!prefix.empty()) {
        if (!IsUsablePrefix(prefix)) {
            Ask(Message::Failure("The image prefix cannot contain any of the characters \\ / : * ? \" < > | "
                                 "or a control character."));
            view_->SetFocus(txtPreFix);
            return;
        }
        if (prefix.size() > kLongestPrefix) {
            Ask(Message::Failure("The image prefix can be at most " + std::to_string(kLongestPrefix) + " characters long."));
            view_->SetFocus(txtPreFix);
            return;
        }
        Prefix_ = prefix;
        if (changed_) changed_();
    }
    if (CardNames_) *CardNames_ = controls_.Checked(chkCardNames);
    Close();
}

void frmOptions::cmdCancel_Click() { Close(); }

}  // namespace kelvara
