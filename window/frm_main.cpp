#include "window/frm_main.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <utility>

#include "destination/destination_check.h"
#include "diskio/get_total_sectors.h"
#include "diskio/is_windows_nt.h"
#include "diskio/sector.h"
#include "photos/preview_files.h"
#include "photos/save_file.h"
#include "platform/last_error_text.h"
#include "scan/scan.h"
#include "scan/scan_report.h"
#include "window/choose_destination.h"
#include "window/control_ids.h"
#include "window/drive_list.h"
#include "window/frm_about.h"
#include "window/frm_browser.h"
#include "window/frm_options.h"
#include "window/preview_pane.h"
#include "window/save_folder.h"

namespace kelvara {
namespace {

using namespace ids::frm_main;

// Thrown through a preview's reads when the list was clicked again meanwhile.
struct PreviewGivenUp {};

constexpr int kScanButton = 3, kOptionsButton = 5, kHelpButton = 7, kAboutButton = 9, kImageDiskButton = 11,
              kDiskWipeButton = 13;
constexpr int kToolbarButtons = 13;

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

FrmMain::FrmMain(Platform& platform, Toolkit& toolkit)
    : WindowCore(toolkit, MainWindowLayout()), platform_(platform), list_(FoundPhotoTable) {
    MakeView(nullptr);
    // It opens centred on the screen.
    const Rect area = toolkit_.WorkArea();
    const Size outer = view_->OuterSize();
    view_->MoveTo({area.left + (area.width - outer.width) / 2, area.top + (area.height - outer.height) / 2});
    Form_Load();
}

FrmMain::~FrmMain() = default;

void FrmMain::Form_Load() {
    // The browser pane goes into a picture box whose sunken 2-pixel border clips it: the
    // browser's frame at the left and top and its scroll bars at the right and bottom fall
    // outside, so only the page shows.
    const Rect browser = layout_.Find(WB2)->rect;
    const int v = platform_.GetSystemMetrics(SM_CXVSCROLL);
    const int h = platform_.GetSystemMetrics(SM_CYHSCROLL);
    const Rect picture = layout_.Find(Image1)->rect;  // the placeholder the pane replaces
    view_->HostBrowser(WB2, picBox, {browser.left, browser.top, browser.width - v, browser.height - h},
                       {-2, -2, browser.width, browser.height}, {picture.width, picture.height});
    controls_.SetVisible(picBox, false);
    browserRenders_ = toolkit_.BrowserRenders();
    view_->SetProgress(Progress, static_cast<int>(progressMax_), static_cast<int>(progressValue_));

    Prefix = "Image";
    Busy = false;
    SetStatus("Ready");

    drives_ = {kSelectDrive};
    if (const auto table = GetDriveList(platform_)) {
        for (const std::string& root : *table) {
            if (root.empty()) break;
            drives_.push_back(Upper(root));
        }
    }
    driveIndex_ = 0;
    ShowDrives();
    cbxDrives_Click();  // choosing from code runs the drive selection like a user's choice
    ShowGuidePicture(1);
}

void FrmMain::ShowDrives() { view_->SetEntries(cbxDrives, drives_, driveIndex_); }

void FrmMain::RefreshDrives() {
    const auto table = GetDriveList(platform_);
    if (!table) return;  // the list cannot be read now: keep what it showed
    DriveEntries now = RefreshDriveEntries(drives_, driveIndex_, *table);
    if (now.entries == drives_ && now.chosen == driveIndex_) return;
    drives_ = std::move(now.entries);
    driveIndex_ = now.chosen;
    ShowDrives();
}

void FrmMain::Clicked(int control) {
    if (control > Toolbar1 && control <= Toolbar1 + kToolbarButtons) Toolbar1_ButtonClick(control - Toolbar1);
    if (control == btnSave) btnSave_Click();
    if (control == btnSaveAll) btnSaveAll_Click();
}

void FrmMain::Chosen(int control, std::int64_t index) {
    if (control == cbxDrives) {
        if (commandRunning_ || index < 0 || index >= static_cast<std::int64_t>(drives_.size())) {
            ShowDrives();  // the combo is locked: it keeps its entry
            return;
        }
        driveIndex_ = static_cast<int>(index);
        cbxDrives_Click();
    } else if (control == lstFiles) {
        list_.setCurrentRow(index);
        lstFiles_Click();
    }
}

void FrmMain::DroppedDown(int control) {
    // Each time its list opens the combo asks for the drives again, so a card put in after
    // start-up can be chosen and one taken out is gone.
    if (control == cbxDrives && !commandRunning_) RefreshDrives();
}

void FrmMain::DrivesChanged() {
    // The combo is locked while a command runs; it follows the drives when the command ends.
    if (commandRunning_)
        drivesChanged_ = true;
    else
        RefreshDrives();
}

std::string FrmMain::EntryText(int control, std::int64_t row) {
    return control == lstFiles ? list_.EntryText(row) : std::string();
}

std::string FrmMain::EntryTooltip(int control, std::int64_t row) {
    if (control != lstFiles || row < 0 || static_cast<std::size_t>(row) >= FoundPhotoTable.size() || Busy) return {};
    const FoundPhoto photo = FoundPhotoTable[static_cast<std::size_t>(row)];
    if (!cardEntries_) {
        tipSource_ = std::make_unique<SectorSource>(platform_, photo.Drive);
        cardEntries_ = std::make_unique<CardEntries>(*tipSource_, DriveEnd(FoundPhotoTable), cardUse_);
    }
    const auto file = cardEntries_->Likeliest(static_cast<std::uint64_t>(photo.StartSector) * kSectorSize);
    tipSource_->Release();  // the card is not held open while the window waits
    if (!file) return {};
    std::string text = file->folder;
    std::replace(text.begin(), text.end(), '/', '\\');
    text += (text.empty() ? "" : "\\") + file->name;
    if (const auto& t = file->modified) {
        char when[32];
        std::snprintf(when, sizeof when, "%04u-%02u-%02u %02u:%02u:%02u", t->year, t->month, t->day, t->hour, t->minute, t->second);
        text += std::string(", ") + when;
    }
    return text;
}

void FrmMain::cbxDrives_Click() {
    // The combo is locked while a command runs: a drive chosen under a scan would mix two cards.
    if (commandRunning_) return;
    const std::string drive = DriveString();
    const std::int64_t sectors = GetTotalSectors(platform_, drive);
    driveSectors_ = std::max<std::int64_t>(sectors, 0);
    controls_.SetText(lblSectors, std::to_string(driveSectors_));
    if (sectors != -1) {
        controls_.SetText(lblSize, std::to_string(sectors * kSectorSize));
        ShowGuidePicture(2);
    } else {
        // A drive this user may not read is said, not shown as an empty one.
        if (platform_.GetLastError() == ERROR_ACCESS_DENIED)
            ShowFailure("Drive " + drive + " cannot be read.\n" + LastErrorText(platform_), "Kelvara");
    }
}

bool FrmMain::OSVersion() { return IsWindowsNT(platform_); }

template <typename Command>
bool FrmMain::RunCommand(Command&& command) {
    if (commandRunning_) return false;  // a second command inside the first one's yield would mix their work
    commandRunning_ = true;
    commandDrive_ = drives_[static_cast<std::size_t>(driveIndex_)];
    EnableLongCommands(false);
    pace_.Restart();  // each command finds its own pace
    struct Done {
        FrmMain* window;
        ~Done() {
            window->commandRunning_ = false;
            window->commandDrive_.reset();
            window->EnableLongCommands(true);
            window->FlushControls();
            if (std::exchange(window->drivesChanged_, false) && !window->closing_) window->RefreshDrives();
        }
    } done{this};
    command();
    return true;
}

void FrmMain::EnableLongCommands(bool enabled) {
    for (const int button : {kScanButton, kImageDiskButton, kDiskWipeButton})
        controls_.SetEnabled(ids::frm_main::ToolbarButton(button), enabled);
    controls_.SetEnabled(cbxDrives, enabled);
    controls_.SetEnabled(btnSave, enabled);
    controls_.SetEnabled(btnSaveAll, enabled);
}

void FrmMain::ForgetClosedWindows() {
    std::erase_if(windows_, [](const std::unique_ptr<WindowCore>& window) { return window->closed(); });
}

void FrmMain::Toolbar1_ButtonClick(int index) {
    ForgetClosedWindows();
    switch (index) {
        case kScanButton:
            if (commandRunning_ || driveIndex_ == 0) return;
            if (driveSectors_ == 0) return;
            RunCommand([this] { Scan(); });
            break;
        // Each click opens another window, shown without waiting for it.
        case kOptionsButton:
            // The list is named at once as Save will name the files.
            Open(std::make_unique<frmOptions>(toolkit_, Prefix, view_.get(), [this] {
                list_.Rename(Prefix);
                view_->Repaint();
            }, &CardNames));
            break;
        case kHelpButton: Open(std::make_unique<FrmBrowser>(toolkit_)); break;
        case kAboutButton: Open(std::make_unique<frmAbout>(platform_, toolkit_)); break;
        case kImageDiskButton:
            if (driveSectors_ == 0) return;
            RunCommand([this] {
                if (const auto folder = ChooseFolder({DriveString()})) ImageDisk(*folder);
            });
            break;
        case kDiskWipeButton: RunCommand([this] { DiskWipe(); }); break;
        default: break;  // separators
    }
}

void FrmMain::Open(std::unique_ptr<WindowCore> window) {
    windows_.push_back(std::move(window));
    windows_.back()->Show();
}

std::optional<std::string> FrmMain::ChooseFolder(const std::vector<std::string>& sourceDrives) {
    // A folder on the card being recovered is refused, and the dialog opens again. The dialog
    // belongs to the main window, so it stays above it.
    for (;;) {
        SaveFolder dialog(platform_, toolkit_, Folder, ffdone, view_.get());
        destination_ = &dialog;
        const std::string folder = WaitForDestination(dialog, Folder, ffdone, toolkit_, [this] { Yield(); });
        destination_ = nullptr;
        // The wait had a pace of its own (bursts of events, then rests): the work that follows
        // finds its own, or a long save of one photo could go unseen on the progress bar.
        pace_.Restart();
        if (folder == kNoFolder || folder.empty()) return std::nullopt;
        const auto refusal = SourceDriveRefusal(platform_, folder, sourceDrives);
        if (!refusal) return folder;
        ShowFailure(*refusal, "Kelvara");
    }
}

void FrmMain::lstFiles_Click() {
    if (Busy) return;
    // A click while a preview reads its photo: that one gives way at its next read, and the
    // entry chosen last is shown.
    if (previewing_) {
        previewAgain_ = true;
        return;
    }
    do {
        previewAgain_ = false;
        const std::int64_t row = list_.currentRow();
        if (row < 0 || row >= static_cast<std::int64_t>(FoundPhotoTable.size())) return;
        ShowPreview(row);
    } while (previewAgain_);
}

void FrmMain::ShowPreview(std::int64_t index) {
    if (index < 0 || index >= static_cast<std::int64_t>(FoundPhotoTable.size())) return;
    SetStatus("Loading");
    view_->Repaint();
    // Its reads yield at a pace of their own, so a click meanwhile is seen even after a scan
    // whose many fast yields looked at the clock seldom.
    pace_.Restart();
    // A copy: a scan started while the preview yields starts the table afresh.
    const FoundPhoto photo = FoundPhotoTable[static_cast<std::size_t>(index)];
    std::string page, temp;
    std::optional<std::string> failure;
    SectorRanges unreadable;
    previewing_ = true;
    try {
        temp = PreviewTempFolder(platform_);
        // A photo in pieces is shown from its pieces, looked for among the table's photos: a scan
        // started meanwhile, which starts the table afresh, gives the preview up.
        page = WritePreviewFiles(
            platform_, FoundPhotoTable, static_cast<std::size_t>(index), temp,
            [this, index, photo] {
                Yield();
                if (previewAgain_ || closing_) throw PreviewGivenUp{};
                const auto at = static_cast<std::size_t>(index);
                if (at >= FoundPhotoTable.size() || FoundPhotoTable[at].StartSector != photo.StartSector ||
                    !(FoundPhotoTable[at].Drive == photo.Drive))
                    throw PreviewGivenUp{};
            },
            &unreadable);
    } catch (const PreviewGivenUp&) {
    } catch (const std::exception& error) {
        failure = error.what();
    }
    previewing_ = false;
    if (failure) {
        // Nothing was written: the pane keeps what it showed.
        SetStatus("Ready");
        ShowFailure("The photo cannot be shown.\n" + *failure, "Kelvara");
        return;
    }
    if (page.empty()) return;  // given up for a newer click, or for the window's closing
    if (browserRenders_) {
        view_->Navigate(WB2, page);
    } else if (const PaneWithoutBrowser pane = PaneFromPreview(platform_, temp, page); pane.picture) {
        view_->ShowPictureFile(WB2, *pane.picture);
    } else {
        view_->ShowDocument(WB2, pane.words);
    }
    ++previews_;
    controls_.SetVisible(picBox, true);
    controls_.SetVisible(Image1, false);
    toolkit_.ProcessEvents();
    SetStatus("Ready");
    // The photo is shown, zeros and all; where the card gave nothing is said.
    if (!unreadable.empty()) ShowFailure(UnreadableText(unreadable), "Kelvara");
}

void FrmMain::btnSave_Click() {
    const std::int64_t row = list_.currentRow();
    if (row < 0) return;
    SaveEntries({row});
}

void FrmMain::btnSaveAll_Click() {
    std::vector<std::int64_t> all(static_cast<std::size_t>(list_.count()));
    for (std::size_t i = 0; i < all.size(); ++i) all[i] = static_cast<std::int64_t>(i);
    if (all.empty()) return;
    SaveEntries(all);
}

void FrmMain::SaveEntries(const std::vector<std::int64_t>& indexes) {
    RunCommand([&] { Save(indexes); });
}

bool FrmMain::OnCloseBox() {
    closing_ = true;
    for (const auto& window : windows_)
        if (dynamic_cast<frmOptions*>(window.get())) window->Close();
    if (destination_) destination_->CancelButton_Click();
    return true;
}

}  // namespace kelvara
