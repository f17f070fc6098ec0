#include "window/frm_new_folder.h"

#include <algorithm>

#include "platform/last_error_text.h"
#include "window/control_ids.h"

namespace kelvara {
namespace {

using namespace ids::frm_new_folder;

// The label keeps the margin the buttons keep, and the box starts after its whole caption, colon
// included, and ends where the buttons end: today's faces run wider than the layout's.
WindowLayout FittedLayout(Toolkit& toolkit) {
    WindowLayout layout = NewFolderLayout();
    ControlLayout& label = *layout.Find(Label1);
    ControlLayout& box = *layout.Find(Text1);
    const int margin = Twips(120);
    const int caption = toolkit.CaptionWidth(label.caption, layout.face);
    label.rect.left = margin;
    label.rect.width = caption;
    const int right = Twips(3960 + 1095);
    box.rect.left = std::max(Twips(1680), margin + caption + 6);
    box.rect.width = right - box.rect.left;
    return layout;
}

}  // namespace

frmNewFolder::frmNewFolder(Platform& platform, Toolkit& toolkit, WindowView* owner)
    : WindowCore(toolkit, FittedLayout(toolkit)), platform_(platform) {
    MakeView(owner);
    done = false;
}

std::string frmNewFolder::MadePath() const { return path + controls_.Text(Text1); }

void frmNewFolder::Clicked(int control) {
    if (control == Command1) Command1_Click();
    if (control == Command2) Command2_Click();
}

void frmNewFolder::Command1_Click() {
    if (done) return;
    // Without a name there is nothing to make: the dialog stays for one to be typed.
    if (controls_.Text(Text1).empty()) {
        Ask(Message::Failure("The new folder needs a name: type it in the box, then press Ok."));
        view_->SetFocus(Text1);
        return;
    }
    const std::string folder = MadePath();
    made = platform_.CreateDirectoryA(folder);
    if (!made)
        Ask(Message::Failure("The folder " + folder + " could not be made. " + LastErrorText(platform_)));
    done = true;
    Close();
}

void frmNewFolder::Command2_Click() {
    done = true;
    Close();
}

// The close box gives up, like Cancel, so the opener stops waiting.
bool frmNewFolder::OnCloseBox() {
    done = true;
    return true;
}

}  // namespace kelvara
