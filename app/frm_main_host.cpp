// The main window as the long commands see it. Values that change after every sector (the
// progress bar, the current label) are kept here and shown whenever the event loop runs;
// the event loop itself runs at most about every 15 ms, so a scan is not paced by repainting.

#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <climits>

#include "app/frm_main.h"
#include "ui/message_box.h"

namespace kelvara {
namespace {
constexpr qint64 kEventInterval = 15'000'000;  // nanoseconds between two runs of the event loop
constexpr qint64 kFastCalls = 1'000'000;       // calls closer than this may skip the clock
constexpr int kLongestStride = 4096;
}  // namespace

// A running command keeps the drive it started with to its end.
std::string FrmMain::DriveString() { return commandDrive_ ? *commandDrive_ : cbxDrives->currentText().toStdString(); }

std::string FrmMain::SectorsCaption() { return lblSectors->text().toStdString(); }

void FrmMain::SetProgressMax(std::int64_t maximum) {
    progressMax_ = std::max<std::int64_t>(0, maximum);
    if (progressValue_ > progressMax_) progressValue_ = progressMax_;
    controlsDirty_ = true;
}

std::int64_t FrmMain::ProgressMax() { return progressMax_; }

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
    const auto maximum = static_cast<int>(progressMax_ >> shift);
    if (Progress->maximum() != maximum) Progress->setMaximum(maximum);
    Progress->setValue(static_cast<int>(progressValue_ >> shift));
    if (currentSector_ >= 0) lblCurrent->setText(QString::number(currentSector_));
    if (selectNewest_) {
        lstFiles->Follow();
        lstFiles->setCurrentRow(lstFiles->count() - 1);
    }
    selectNewest_ = false;
}

void FrmMain::SetStatus(const std::string& word) { lblStatus->setText(QString::fromStdString(word)); }

void FrmMain::SetBusy(bool busy) { Busy = busy; }

void FrmMain::ShowGuidePicture(int index) { Image1->setPixmap(ImageList2.ListImage(index, devicePixelRatioF())); }

void FrmMain::AddFoundEntry(const std::string&) {
    // The list names its entries from the table itself, and follows it, selecting the newest
    // (which scrolls to it), whenever the window is seen: a card of thousands of photos is not
    // paced by the list. The busy flag keeps the selection from previewing.
    selectNewest_ = true;
    controlsDirty_ = true;
}

void FrmMain::ShowMessage(const std::string& text, const std::string& title) {
    if (closing_) return;  // the user has left; nobody is there to read it
    FlushControls();
    MessageBox::Show(this, QString::fromStdString(text), QString::fromStdString(title));
}

void FrmMain::ShowFailure(const std::string& text, const std::string& title) {
    if (closing_) return;
    FlushControls();
    MessageBox::ShowFailure(this, QString::fromStdString(text), QString::fromStdString(title));
}

bool FrmMain::AskYesNo(const std::string& prompt, const std::string& title) {
    if (closing_) return false;
    FlushControls();
    return MessageBox::AskYesNo(this, QString::fromStdString(prompt), QString::fromStdString(title));
}

void FrmMain::Yield() {
    // Reading the clock costs as much as testing a sector, so it is read every `yieldStride_`
    // calls: the stride doubles while calls come fast and drops back to 1 when they slow down.
    if (++yieldCalls_ < yieldStride_) return;
    yieldCalls_ = 0;
    const qint64 now = clock_.nsecsElapsed();
    const qint64 sinceCheck = now - lastClockCheck_;
    lastClockCheck_ = now;
    if (sinceCheck < kFastCalls) {
        yieldStride_ = std::min(yieldStride_ * 2, kLongestStride);
    } else if (sinceCheck > 4 * kFastCalls) {
        yieldStride_ = 1;
    }
    if (now - lastEvents_ < kEventInterval) return;
    FlushControls();
    QCoreApplication::processEvents();
    lastEvents_ = clock_.nsecsElapsed();
}

void FrmMain::RestartYieldPacing() {
    yieldStride_ = 1;
    yieldCalls_ = 0;
    lastClockCheck_ = clock_.nsecsElapsed();
}

}  // namespace kelvara
