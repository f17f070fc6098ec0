#pragma once
// The main window: every control the user works with and all state of the running program. The
// long commands run as plain algorithms that tell it their progress and hand it their reports; it
// says every word the user reads of them. Its view mirrors what it holds.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "photos/card_entry.h"
#include "diskio/sector_source.h"
#include "platform/platform.h"
#include "scan/found_photo.h"
#include "scan/command_progress.h"
#include "scan/scan_report.h"
#include "window/found_photo_list.h"
#include "window/message.h"
#include "window/window_core.h"
#include "window/yield_pace.h"

namespace kelvara {

class SaveFolder;

class FrmMain : public WindowCore, public CommandProgress {
public:
    // Makes the view and runs Form_Load; Show() puts the window on the screen.
    FrmMain(Platform& platform, Toolkit& toolkit);
    ~FrmMain() override;

    // --- state ---------------------------------------------------------------------------------
    std::string Folder;  // the destination last chosen, kNoFolder ("No") after a cancel
    bool ffdone = false;  // the destination dialog has closed
    std::string Prefix;  // the name prefix of list entries and saved files
    bool CardNames = false;  // saved photos take the card's own folders and names where known
    kelvara::FoundPhotoTable FoundPhotoTable;

    // --- what the controls hold ----------------------------------------------------------------
    const std::string& Caption(int control) const { return controls_.Text(control); }
    bool Enabled(int control) const { return controls_.Enabled(control); }
    bool Visible(int control) const { return controls_.Visible(control); }
    const std::vector<std::string>& Drives() const { return drives_; }
    int DriveIndex() const { return driveIndex_; }
    const FoundPhotoList& PhotoList() const { return list_; }
    std::int64_t ProgressMaximum() const { return progressMax_; }
    std::int64_t ProgressValue() const { return progressValue_; }
    int GuidePicture() const { return guidePicture_; }
    // The chosen drive's size in sectors, as its label shows it; 0 when none is chosen or it is unknown.
    std::int64_t DriveSectors() const { return driveSectors_; }

    // --- handlers and operations ---------------------------------------------------------------
    void Form_Load();
    void cbxDrives_Click();
    void Toolbar1_ButtonClick(int index);
    void lstFiles_Click();
    void btnSave_Click();
    void btnSaveAll_Click();
    bool OSVersion();
    ScanReport ScanWinNT(SectorSource& card);
    ScanReport ScanWin98(SectorSource& card);
    void ShowPreview(std::int64_t index);

    bool IsBusy() const { return Busy; }
    // True while a scan, a disk image, a wipe, a save or a wait for the destination runs.
    bool CommandRunning() const { return commandRunning_; }
    // How many previews have been shown in the pane.
    int PreviewCount() const { return previews_; }
    // The destination dialog while one is open.
    SaveFolder* DestinationDialog() const { return destination_; }

    // --- events from the view ------------------------------------------------------------------
    void Clicked(int control) override;
    void Chosen(int control, std::int64_t index) override;
    void DroppedDown(int control) override;
    void DrivesChanged() override;
    std::string EntryText(int control, std::int64_t row) override;
    // A found photo's folder, name and time on the card, where its file system still holds them.
    std::string EntryTooltip(int control, std::int64_t row) override;

    // --- what the long commands show ----------------------------------------------------------
    // The text of the drive combo: "E:\", or "Select Drive"; a running command keeps the drive it
    // started with.
    std::string DriveString();
    // The progress bar; its minimum is 0. A value above the maximum is refused (false) and the bar
    // keeps its value.
    void SetProgressMax(std::int64_t maximum);
    bool SetProgressValue(std::int64_t value);
    void SetCurrentSector(std::int64_t sector);  // the "current" label, in decimal
    void SetStatus(const std::string& word);     // "Ready", "Scaning. .", ...
    void SetBusy(bool busy) { Busy = busy; }     // while set, a list click does nothing
    void ShowGuidePicture(int index);            // 1 to 3, in the preview's place
    // The table has grown: the list follows it when next shown, selecting its newest entry.
    void AddFoundEntry(const std::string& name);
    // A message with an OK button; returns when the user has closed it. A failure is marked as a
    // warning so that it does not look like news.
    void ShowMessage(const std::string& text, const std::string& title);
    void ShowFailure(const std::string& text, const std::string& title);
    void Tell(const Message& message);
    // A question with Yes (the default) and No; true for Yes.
    bool AskYesNo(const std::string& prompt, const std::string& title);
    // Lets the event loop run, so the window stays live; cheap when called often.
    void Yield();

    // --- CommandProgress: how far a long command got --------------------------------------------
    void Total(std::int64_t total) override;
    void Advance(std::int64_t done) override;
    void AtSector(std::int64_t sector) override { SetCurrentSector(sector); }
    // Once the window is closed, the running command stops at its next read, run or photo.
    bool StopRequested() override { return closing_; }

    // Shows every coalesced control value now.
    void FlushControls();

protected:
    // The window's close box: a command running in its yields would otherwise go on out of
    // sight to its end. It stops at its next read, run or photo, and the dialogs the window owns
    // go as a Cancel would. The windows of their own (About, Help) stay.
    bool OnCloseBox() override;

private:
    void RefreshDrives();
    void ShowDrives();
    // The destination dialog until the user chooses a folder off those drives; nullopt when the
    // user gave up.
    std::optional<std::string> ChooseFolder(const std::vector<std::string>& sourceDrives);
    // The Scan command: the list started afresh, "Scaning. .", the scan of the family this system
    // is, then its messages and the window back at rest.
    void Scan();
    void SaveEntries(const std::vector<std::int64_t>& indexes);
    // Save and Save All once running: the destination dialog, "Saveing" while the photos are
    // written, and messages only when anything fell short or was not saved.
    void Save(const std::vector<std::int64_t>& indexes);
    // The Image Disk command once the folder is chosen: the question, the image, and a message
    // only when the image could not be made, is incomplete or holds zeros.
    void ImageDisk(const std::string& folder);
    // The Disk Wipe command: a message and nothing else for a drive that cannot be wiped, the
    // question, "Wipeing" while it runs, and a message only when it fell short.
    void DiskWipe();
    void ShowPreviewPage(const std::string& page);
    void Open(std::unique_ptr<WindowCore> window);
    // The windows of Options, About and Help that have closed are let go.
    void ForgetClosedWindows();

    // Runs a long command with the toolbar's long commands refused and the drive combo locked
    // meanwhile; false when one already runs.
    template <typename Command>
    bool RunCommand(Command&& command);
    // The commands a running one would refuse, and the drive combo, look unavailable meanwhile.
    void EnableLongCommands(bool enabled);

    Platform& platform_;
    bool Busy = false;
    bool commandRunning_ = false;
    bool drivesChanged_ = false;  // while a command ran: the drive list is shown anew at its end
    std::optional<std::string> commandDrive_;  // the drive string a running command started with
    bool closing_ = false;
    bool browserRenders_ = true;
    int previews_ = 0;
    bool previewing_ = false;    // a preview is reading its photo, yielding meanwhile
    bool previewAgain_ = false;  // the list was clicked meanwhile: that preview gives way to a new one

    std::vector<std::string> drives_;  // cbxDrives' entries
    int driveIndex_ = -1;
    std::int64_t driveSectors_ = 0;  // what lblSectors shows
    FoundPhotoList list_;
    int guidePicture_ = 0;

    // The progress bar and the current label change after every sector; the window shows
    // them whenever the event loop runs, not in between.
    std::int64_t progressMax_ = 100;
    std::int64_t progressValue_ = 0;
    std::int64_t currentSector_ = -1;  // -1: the label keeps its text
    bool controlsDirty_ = false;
    YieldPace pace_;

    // The card's folders as the last scan saw them, and its entries, read when first asked for.
    std::unique_ptr<CardFolderWatch> folderWatch_;
    std::unique_ptr<SectorSource> tipSource_;  // declared first: the entries read through it
    std::unique_ptr<CardEntries> cardEntries_;
    CardUse cardUse_;

    SaveFolder* destination_ = nullptr;
    std::vector<std::unique_ptr<WindowCore>> windows_;  // Options, About and Help opened from here
};

}  // namespace kelvara
