// The main window as the long commands see it: their progress, and the messages it shows of
// them. Values that change after every sector (the progress bar, the current label, the list)
// are kept here and shown whenever the event loop runs, which is at most about every 15 ms: a
// scan is not paced by repainting.

#include <climits>

#include "window/control_ids.h"
#include "window/frm_main.h"

namespace kelvara {

using namespace ids::frm_main;

// A running command keeps the drive it started with to its end.
std::string FrmMain::DriveString() {
    if (commandDrive_) return *commandDrive_;
    return driveIndex_ >= 0 && driveIndex_ < static_cast<int>(drives_.size()) ? drives_[driveIndex_] : std::string();
}

void FrmMain::SetProgressMax(std::int64_t maximum) {
    progressMax_ = std::max<std::int64_t>(0, maximum);
    if (progressValue_ > progressMax_) progressValue_ = progressMax_;
    controlsDirty_ = true;
}

bool FrmMain::SetProgressValue(std::int64_t value) {
    if (value < 0 || value > progressMax_) return false;  // the bar refuses it and keeps its value
    progressValue_ = value;
    controlsDirty_ = true;
    return true;
}

void FrmMain::SetCurrentSector(std::int64_t sector) {
    currentSector_ = sector;
    controlsDirty_ = true;
}

void FrmMain::FlushControls() {
    if (!controlsDirty_) return;
    controlsDirty_ = false;
    // The bar counts in int: on a card of more sectors than that, it counts in larger steps.
    int shift = 0;
    while ((progressMax_ >> shift) > INT_MAX) ++shift;
    view_->SetProgress(Progress, static_cast<int>(progressMax_ >> shift), static_cast<int>(progressValue_ >> shift));
    if (currentSector_ >= 0) controls_.SetText(lblCurrent, std::to_string(currentSector_));
    // The list follows the table, selecting the newest entry (which scrolls to it). Selecting
    // raises the list's click, which the busy flag keeps from previewing.
    if (list_.Follow()) {
        view_->SetEntryCount(lstFiles, list_.count());
        list_.setCurrentRow(list_.count() - 1);
        view_->SelectEntry(lstFiles, list_.currentRow());
        lstFiles_Click();
    }
}

void FrmMain::SetStatus(const std::string& word) { controls_.SetText(lblStatus, word); }

void FrmMain::ShowGuidePicture(int index) {
    guidePicture_ = index;
    view_->SetPicture(Image1, ImageListId::ImageList2, index);
}

// The list names its entries from the table itself, whenever the window is seen: a card of
// thousands of photos is not paced by the list.
void FrmMain::AddFoundEntry(const std::string&) { controlsDirty_ = true; }

void FrmMain::ShowMessage(const std::string& text, const std::string& title) { Tell(Message::Info(text, title)); }

void FrmMain::ShowFailure(const std::string& text, const std::string& title) { Tell(Message::Failure(text, title)); }

void FrmMain::Tell(const Message& message) {
    if (closing_) return;  // the user has left; nobody is there to read it
    FlushControls();
    Ask(message);
}

bool FrmMain::AskYesNo(const std::string& prompt, const std::string& title) {
    if (closing_) return false;
    FlushControls();
    return Ask(Message::Question(prompt, title));
}

void FrmMain::Total(std::int64_t total) {
    SetProgressMax(total);
    SetProgressValue(0);
}

void FrmMain::Advance(std::int64_t done) {
    // A value above the bar's maximum is refused: the bar keeps its value. The same value again
    // only lets the window live.
    if (done != progressValue_) SetProgressValue(done);
    Yield();
}

void FrmMain::Yield() {
    if (!pace_.Due()) return;
    FlushControls();
    toolkit_.ProcessEvents();
    pace_.Ran();
}

}  // namespace kelvara
