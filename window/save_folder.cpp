#include "window/save_folder.h"

#include <algorithm>
#include <cctype>

#include "platform/drive_string.h"
#include "window/control_ids.h"
#include "window/frm_new_folder.h"
#include "window/yield_until.h"

namespace kelvara {
namespace {

using namespace ids::save_folder;

// A drive as a drive list box names it: "c:".
std::string DriveName(const std::string& drive) {
    return std::string(1, static_cast<char>(std::tolower(static_cast<unsigned char>(DriveLetter(drive))))) + ":";
}

// The layout is narrower than the title with a frame's buttons beside it: the extra width goes
// to the lists, and the buttons spread over it.
WindowLayout FittedLayout(Toolkit& toolkit) {
    WindowLayout layout = SaveFolderLayout();
    const int extra = std::max(0, toolkit.TitleWidth(layout.title) - layout.client.width);
    layout.client.width += extra;
    layout.Find(Drive1)->rect.width += extra;
    layout.Find(Dir1)->rect.width += extra;
    layout.Find(CancelButton)->rect.left += extra / 2;
    layout.Find(btnNewFolder)->rect.left += extra;
    return layout;
}

}  // namespace

SaveFolder::SaveFolder(Platform& platform, Toolkit& toolkit, std::string& Folder, bool& ffdone, WindowView* owner)
    : WindowCore(toolkit, FittedLayout(toolkit)), Dir1(platform), platform_(platform), Folder_(Folder), ffdone_(ffdone) {
    MakeView(owner);
    for (const std::string& root : DriveStrings(platform_)) drives_.push_back(DriveName(root));
    Form_Load();
}

SaveFolder::~SaveFolder() = default;

void SaveFolder::Form_Load() {
    ffdone_ = false;
    Dir1_SetPath("C:\\");
}

bool SaveFolder::Dir1_SetPath(const std::string& path) {
    if (!Dir1.setPath(path)) return false;
    ShowDir1();
    return true;
}

void SaveFolder::ShowDir1() {
    view_->SetEntries(ids::save_folder::Dir1, Dir1.Labels(), Dir1.highlighted());
    ShowDriveOf(Dir1.path());
}

// The drive list follows the folder on show without treating that as a choice of drive.
void SaveFolder::ShowDriveOf(const std::string& path) {
    if (path.size() < 2 || path[1] != ':') return;
    const auto at = std::find(drives_.begin(), drives_.end(), DriveName(path));
    if (at != drives_.end()) driveIndex_ = static_cast<int>(at - drives_.begin());
    view_->SetEntries(ids::save_folder::Drive1, drives_, driveIndex_);
}

void SaveFolder::Clicked(int control) {
    switch (control) {
        case OKButton: OKButton_Click(); break;
        case CancelButton: CancelButton_Click(); break;
        case btnNewFolder: btnNewFolder_Click(); break;
        default: break;
    }
}

void SaveFolder::Chosen(int control, std::int64_t index) {
    if (control == ids::save_folder::Drive1) {
        if (index < 0 || index >= static_cast<std::int64_t>(drives_.size()) || index == driveIndex_) return;
        driveIndex_ = static_cast<int>(index);
        Drive1_Change();
    } else if (control == ids::save_folder::Dir1) {
        Dir1.Highlight(static_cast<int>(index));
    }
}

void SaveFolder::Opened(int control, std::int64_t index) {
    if (control == ids::save_folder::Dir1 && Dir1.Open(static_cast<int>(index))) ShowDir1();
}

void SaveFolder::Drive1_Change() {
    if (driveIndex_ < 0) return;
    if (!Dir1_SetPath(DriveRoot(drives_[static_cast<std::size_t>(driveIndex_)]))) {
        Ask(Message::Info("No disk or disk not ready"));
        // Dir1 keeps its folder; the drive list keeps the new choice.
        view_->SetEntries(ids::save_folder::Drive1, drives_, driveIndex_);
    }
}

void SaveFolder::Finish(const std::string& folder) {
    if (finished_) return;
    finished_ = true;
    Folder_ = folder;
    ffdone_ = true;
}

void SaveFolder::OKButton_Click() {
    Finish(Dir1.HighlightedPath());
    Close();
}

void SaveFolder::CancelButton_Click() {
    Finish(kNoFolder);
    if (newFolder_) newFolder_->Command2_Click();
    Close();
}

// The close box is a Cancel, so whoever waits on ffdone stops waiting; so is a new-folder dialog
// still open over it.
bool SaveFolder::OnCloseBox() {
    Finish(kNoFolder);
    if (newFolder_) newFolder_->Command2_Click();
    return true;
}

void SaveFolder::btnNewFolder_Click() {
    if (newFolder_) return;
    frmNewFolder form(platform_, toolkit_, view_.get());
    newFolder_ = &form;
    form.path = Dir1.path() + "\\";
    form.Show();
    YieldUntil(toolkit_, [&] { return form.done || form.closed() || closed_; }, [&] { toolkit_.ProcessEvents(); });
    newFolder_ = nullptr;
    if (closed_) return;  // this dialog was closed meanwhile
    Dir1.refresh();
    // The folder opened is the one that was made, even if Dir1 moved while the name was typed.
    if (form.made) Dir1.setPath(form.MadePath());
    ShowDir1();
}

}  // namespace kelvara
