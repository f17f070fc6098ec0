#pragma once
// The main window: it holds every control the user works with and all state of the running
// program. The long commands run as plain algorithms against the window through Host.

#include <QElapsedTimer>
#include <QWidget>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/drive_combo.h"
#include "app/found_photo_list.h"
#include "platform/platform.h"
#include "resources/image_lists.h"
#include "scan/found_photo.h"
#include "scan/host.h"

class QAction;
class QCloseEvent;
class QFrame;
class QLabel;
class QProgressBar;
class QPushButton;
class QToolBar;
class QWebEngineView;

namespace kelvara {

class FrmMain : public QWidget, public Host {
    Q_OBJECT

public:
    explicit FrmMain(Platform& platform, QWidget* parent = nullptr);
    ~FrmMain() override;

    // --- controls, in their order of creation ------------------------------------------------
    QToolBar* Toolbar1;
    DriveCombo* cbxDrives;
    QPushButton* btnSaveAll;
    QPushButton* btnSave;
    FoundPhotoList* lstFiles;
    QProgressBar* Progress;
    QFrame* Frame1;
    QLabel* lblSectors;
    QLabel* Label6;
    QLabel* lblSize;
    QLabel* Label4;
    QWebEngineView* WB2;
    QLabel* Image1;
    ImageList ImageList2;
    QLabel* Label5;
    QLabel* lblStatus;
    QLabel* Label3;
    QLabel* lblTotal;
    QLabel* Label2;
    QLabel* lblCurrent;
    QLabel* Label1;
    ImageList ImageList1;
    QFrame* picBox = nullptr;  // made by Form_Load; holds WB2 and clips its frame and scroll bars

    // --- state ---------------------------------------------------------------------------------
    std::string Folder;  // the destination last chosen, kNoFolder ("No") after a cancel
    bool ffdone = false;  // the destination dialog has closed
    std::string Prefix;  // the name prefix of list entries and saved files
    kelvara::FoundPhotoTable FoundPhotoTable;

    // --- handlers and operations ---------------------------------------------------------------
    void Form_Load();
    void cbxDrives_Click();
    void Toolbar1_ButtonClick(int index);
    void lstFiles_Click();
    void btnSave_Click();
    void btnSaveAll_Click();
    bool OSVersion();
    void ScanWinNT();
    void ScanWin98();
    void ShowPreview(int index);

    // Toolbar button `index`, counted from 1 with the separators.
    QAction* ToolbarButton(int index) const;
    bool IsBusy() const { return Busy; }
    // True while a scan, a disk image, a wipe, a save or a wait for the destination runs.
    bool CommandRunning() const { return commandRunning_; }
    // How many previews have navigated the pane.
    int PreviewCount() const { return previews_; }

    // --- Host: what the long commands read and write ---------------------------------------
    std::string DriveString() override;
    std::string SectorsCaption() override;
    void SetProgressMax(std::int64_t maximum) override;
    std::int64_t ProgressMax() override;
    bool SetProgressValue(std::int64_t value) override;
    void SetCurrentSector(std::int64_t sector) override;
    void SetStatus(const std::string& word) override;
    void SetBusy(bool busy) override;
    void ShowGuidePicture(int index) override;
    void AddFoundEntry(const std::string& name) override;
    void ShowMessage(const std::string& text, const std::string& title) override;
    void ShowFailure(const std::string& text, const std::string& title) override;
    bool AskYesNo(const std::string& prompt, const std::string& title) override;
    void Yield() override;
    // Once the window is closed, the running command stops at its next read, run or photo.
    bool StopRequested() override { return closing_; }

    // Shows every coalesced control value now.
    void FlushControls();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildControls();
    void BuildToolbar();
    void Navigate2(const std::string& pagePath);
    // The destination dialog until the user chooses a folder off those drives; nullopt when the
    // user gave up.
    std::optional<std::string> ChooseFolder(const std::vector<std::string>& sourceDrives);
    void SaveEntries(const std::vector<std::int64_t>& indexes);

    // Runs a long command with the toolbar's long commands refused and the drive combo locked
    // meanwhile; false when one already runs.
    template <typename Command>
    bool RunCommand(Command&& command);
    // The commands a running one would refuse, and the drive combo, look unavailable meanwhile.
    void EnableLongCommands(bool enabled);

    Platform& platform_;
    bool Busy = false;
    bool commandRunning_ = false;
    std::optional<std::string> commandDrive_;  // the drive string a running command started with
    bool closing_ = false;
    std::vector<QAction*> toolbarButtons_;
    int previews_ = 0;
    bool previewing_ = false;     // a preview is reading its photo, yielding meanwhile
    bool previewAgain_ = false;   // the list was clicked meanwhile: that preview gives way to a new one

    // The progress bar and the current label change after every sector; the window shows
    // them whenever the event loop runs, not in between.
    std::int64_t progressMax_ = 100;
    std::int64_t progressValue_ = 0;
    std::int64_t currentSector_ = -1;  // -1: the label keeps its text
    bool selectNewest_ = false;        // entries were added: the newest is to be selected
    bool controlsDirty_ = false;

    // When Yield last looked at the clock and last ran the event loop, in nanoseconds.
    void RestartYieldPacing();
    QElapsedTimer clock_;
    qint64 lastClockCheck_ = 0;
    qint64 lastEvents_ = 0;
    int yieldStride_ = 1;
    int yieldCalls_ = 0;
};

}  // namespace kelvara
