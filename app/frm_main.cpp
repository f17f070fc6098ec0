#include "app/frm_main.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QWebEngineView>

#include "app/drive_combo.h"
#include "destination/destination_check.h"
#include "dialogs/frm_about.h"
#include "dialogs/frm_browser.h"
#include "dialogs/frm_options.h"
#include "diskio/get_total_sectors.h"
#include "diskio/is_windows_nt.h"
#include "diskio/sector.h"
#include "folder_dialogs/choose_destination.h"
#include "photos/preview_files.h"
#include "photos/save_file.h"
#include "platform/last_error_text.h"
#include "scan/scan.h"
#include "scan/scan_report.h"
#include "tools/disk_wipe.h"
#include "tools/make_image.h"
#include "ui/twips.h"

namespace kelvara {
namespace {

// Thrown through a preview's reads when the list was clicked again meanwhile.
struct PreviewGivenUp {};

constexpr int kScanButton = 3, kOptionsButton = 5, kHelpButton = 7, kAboutButton = 9, kImageDiskButton = 11,
              kDiskWipeButton = 13;

QLabel* MakeLabel(QWidget* parent, const QString& text, int left, int top, int width, int height) {
    auto* label = new QLabel(text, parent);
    label->setGeometry(left, top, width, height);
    return label;
}

}  // namespace

FrmMain::FrmMain(Platform& platform, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      ImageList2(ImageList::Which::ImageList2),
      ImageList1(ImageList::Which::ImageList1),
      platform_(platform) {
    setWindowTitle("Kelvara - Tobrin");
    setWindowIcon(KelvaraWindowIcon());
    setFixedSize(443, 385);
    // The main window's captions sit closest together: a narrow face, where there is one.
    UseLayoutFont(this, {"Nimbus Sans", "Liberation Sans", "Arial", "DejaVu Sans Condensed", "DejaVu Sans"});
    BuildControls();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - rect().center());
    }
    clock_.start();
    Form_Load();
}

FrmMain::~FrmMain() = default;

void FrmMain::BuildToolbar() {
    Toolbar1 = new QToolBar(this);
    Toolbar1->setGeometry(0, 0, 443, 74);
    Toolbar1->setIconSize(QSize(48, 48));
    Toolbar1->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    Toolbar1->setMovable(false);
    Toolbar1->setFloatable(false);
    struct Button {
        const char* caption;  // nullptr: a separator
        int icon;
    };
    const Button buttons[13] = {{nullptr, 0},     {nullptr, 0},    {"Scan", 1},       {nullptr, 0},   {"Options", 2},
                                {nullptr, 0},     {"Help", 3},     {nullptr, 0},      {"About", 4},   {nullptr, 0},
                                {"Image Disk", 5}, {nullptr, 0},    {"Disk Wipe", 6}};
    for (int i = 0; i < 13; ++i) {
        QAction* action;
        if (buttons[i].caption) {
            action = Toolbar1->addAction(ImageList1.Icon(buttons[i].icon), buttons[i].caption);
            if (auto* button = qobject_cast<QToolButton*>(Toolbar1->widgetForAction(action)))
                button->setFixedSize(59, 68);
            const int index = i + 1;
            connect(action, &QAction::triggered, this, [this, index] { Toolbar1_ButtonClick(index); });
        } else {
            action = Toolbar1->addSeparator();
        }
        toolbarButtons_.push_back(action);
    }
}

void FrmMain::BuildControls() {
    BuildToolbar();

    cbxDrives = new DriveCombo(platform_, this);
    cbxDrives->setGeometry(8, 128, 169, 21);
    connect(cbxDrives, &QComboBox::activated, this, [this] { cbxDrives_Click(); });

    btnSaveAll = new QPushButton("Save All", this);
    btnSaveAll->setGeometry(96, 352, 81, 25);
    connect(btnSaveAll, &QPushButton::clicked, this, [this] { btnSaveAll_Click(); });
    btnSave = new QPushButton("Save", this);
    btnSave->setGeometry(8, 352, 81, 25);
    connect(btnSave, &QPushButton::clicked, this, [this] { btnSave_Click(); });

    lstFiles = new FoundPhotoList(FoundPhotoTable, this);
    lstFiles->setGeometry(8, 224, 169, 121);
    connect(lstFiles, &FoundPhotoList::entryChosen, this, [this] { lstFiles_Click(); });

    Progress = new QProgressBar(this);
    Progress->setGeometry(8, 80, 425, 17);
    Progress->setRange(0, 100);
    Progress->setValue(0);
    Progress->setTextVisible(false);

    Frame1 = new QFrame(this);
    Frame1->setGeometry(8, 144, 169, 57);
    Frame1->setFrameShape(QFrame::Box);
    Frame1->setFrameShadow(QFrame::Sunken);
    // A frame's line runs half a caption's height below its top, clear of the combo above it.
    Frame1->setFrameRect(QRect(0, 7, Frame1->width(), Frame1->height() - 7));
    cbxDrives->raise();  // the combo's lower edge lies inside the frame's box, and stays clickable
    lblSectors = MakeLabel(Frame1, "0", 56, 32, 105, 17);
    Label6 = MakeLabel(Frame1, "Sectors:", 8, 32, 49, 17);
    lblSize = MakeLabel(Frame1, "", 56, 16, 105, 17);
    Label4 = MakeLabel(Frame1, "Size:", 8, 16, 33, 17);

    WB2 = new QWebEngineView(this);
    WB2->setGeometry(184, 120, 272, 272);
    Image1 = new QLabel(this);
    Image1->setGeometry(184, 120, 256, 256);
    Image1->setScaledContents(true);

    Label5 = MakeLabel(this, "Files Found:", 16, 208, 161, 17);
    lblStatus = MakeLabel(this, "", 376, 104, 57, 17);
    Label3 = MakeLabel(this, "Status:", 336, 104, 33, 17);
    lblTotal = MakeLabel(this, "", 240, 104, 89, 17);
    Label2 = MakeLabel(this, "/", 224, 104, 9, 17);
    lblCurrent = MakeLabel(this, "", 128, 104, 89, 17);
    Label1 = MakeLabel(this, "Sector Current / Total", 8, 104, 113, 17);
}

void FrmMain::Form_Load() {
    // The browser pane goes into a picture box whose sunken 2-pixel border clips it: the
    // browser's scroll bars at the right and bottom fall outside, so only the page shows.
    picBox = new QFrame(this);
    picBox->setObjectName("picBox");
    picBox->hide();
    const QRect browser = WB2->geometry();
    const int v = platform_.GetSystemMetrics(SM_CXVSCROLL);
    const int h = platform_.GetSystemMetrics(SM_CYHSCROLL);
    picBox->setGeometry(browser.left(), browser.top(), browser.width() - v, browser.height() - h);
    picBox->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    picBox->setLineWidth(2);
    auto* inside = new QWidget(picBox);  // the picture box's client area, inside its border
    inside->setGeometry(2, 2, picBox->width() - 4, picBox->height() - 4);
    WB2->setParent(inside);
    // This browser draws no frame of its own to push out of sight: the page starts at the
    // opening's corner, and is drawn just small enough that the whole placeholder-sized photo
    // shows in it.
    WB2->move(0, 0);
    WB2->resize(browser.size());
    WB2->setZoomFactor(qreal(inside->width()) / Image1->width());
    WB2->show();
    picBox->hide();
    // The browser makes its drawing surface when its page first starts, and such a surface changes
    // how the whole window is drawn: made after the window, it makes the window system build the
    // window anew, black for a moment. Started now, before the window is first shown, the first
    // preview only has to show it.
    WB2->page()->runJavaScript(QString());

    Prefix = "Image";
    Busy = false;
    lblStatus->setText("Ready");

    cbxDrives->addItem("Select Drive");
    cbxDrives->RefreshDrives();
    cbxDrives->setCurrentIndex(0);
    cbxDrives_Click();  // choosing from code runs the drive selection like a user's choice
    ShowGuidePicture(1);
}

void FrmMain::cbxDrives_Click() {
    // The combo is locked while a command runs: a drive chosen under a scan would mix two cards.
    if (commandRunning_) return;
    const std::string drive = DriveString();
    lblSectors->setText(QString::number(GetTotalSectors(platform_, drive)));
    if (const std::int64_t sectors = CaptionNumber(SectorsCaption()); sectors != -1) {
        lblSize->setText(QString::number(sectors * kSectorSize));
        ShowGuidePicture(2);
    } else {
        lblSectors->setText("0");
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
    commandDrive_ = cbxDrives->currentText().toStdString();
    EnableLongCommands(false);
    RestartYieldPacing();  // each command finds its own pace
    struct Done {
        FrmMain* window;
        ~Done() {
            window->commandRunning_ = false;
            window->commandDrive_.reset();
            window->EnableLongCommands(true);
            window->FlushControls();
        }
    } done{this};
    command();
    return true;
}

void FrmMain::EnableLongCommands(bool enabled) {
    for (const int button : {kScanButton, kImageDiskButton, kDiskWipeButton}) ToolbarButton(button)->setEnabled(enabled);
    cbxDrives->setEnabled(enabled);
    btnSave->setEnabled(enabled);
    btnSaveAll->setEnabled(enabled);
}

void FrmMain::Toolbar1_ButtonClick(int index) {
    switch (index) {
        case kScanButton:
            if (commandRunning_ || cbxDrives->currentIndex() == 0) return;
            if (CaptionNumber(SectorsCaption()) == 0) return;
            RunCommand([this] {
                Busy = true;
                lstFiles->StartScan(Prefix);  // its entries keep the prefix they were found under
                lblTotal->setText(lblSectors->text());
                lblStatus->setText("Scaning. .");
                // Asked before the scan, while clicks are still held off; said after the count.
                const auto shortNote = ShortVolumeNote(platform_, DriveString(), CaptionNumber(SectorsCaption()));
                if (OSVersion())
                    ScanWinNT();
                else
                    ScanWin98();
                if (shortNote) ShowMessage(*shortNote, "Kelvara");
            });
            break;
        case kOptionsButton: (new frmOptions(Prefix, this))->show(); break;
        case kHelpButton: (new FrmBrowser())->show(); break;
        case kAboutButton: (new frmAbout(platform_))->show(); break;
        case kImageDiskButton:
            if (CaptionNumber(SectorsCaption()) == 0) return;
            RunCommand([this] {
                const auto folder = ChooseFolder({DriveString()});
                if (folder) ImageDisk(platform_, *this, *folder);
            });
            break;
        case kDiskWipeButton: RunCommand([this] { DiskWipe(platform_, *this); }); break;
        default: break;  // separators
    }
}

void FrmMain::ScanWinNT() { kelvara::ScanWinNT({platform_, *this, FoundPhotoTable, Prefix}); }

void FrmMain::ScanWin98() { kelvara::ScanWin98({platform_, *this, FoundPhotoTable, Prefix}); }

std::optional<std::string> FrmMain::ChooseFolder(const std::vector<std::string>& sourceDrives) {
    // A folder on the card being recovered is refused, and the dialog opens again. The dialog is
    // owned by the main window, so it stays above it.
    for (;;) {
        const std::string folder = ChooseDestinationFolder(platform_, Folder, ffdone, [this] { Yield(); }, this);
        // The wait had a pace of its own (bursts of events, then rests): the work that follows finds
        // its own, or a long save of one photo could go unseen on the progress bar.
        RestartYieldPacing();
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
        const int row = lstFiles->currentRow();
        if (row < 0 || row >= static_cast<int>(FoundPhotoTable.size())) return;
        ShowPreview(row);
    } while (previewAgain_);
}

void FrmMain::ShowPreview(int index) {
    if (index < 0 || index >= static_cast<int>(FoundPhotoTable.size())) return;
    lblStatus->setText("Loading");
    lblStatus->repaint();
    // A copy: a scan started while the preview yields starts the table afresh.
    const FoundPhoto photo = FoundPhotoTable[static_cast<std::size_t>(index)];
    std::string page;
    std::optional<std::string> failure;
    SectorRanges unreadable;
    previewing_ = true;
    try {
        page = WritePreviewFiles(
            platform_, photo, DriveEnd(FoundPhotoTable), PreviewTempFolder(platform_),
            [this] {
                Yield();
                if (previewAgain_ || closing_) throw PreviewGivenUp{};
            },
            &unreadable);
    } catch (const PreviewGivenUp&) {
    } catch (const std::exception& error) {
        failure = error.what();
    }
    previewing_ = false;
    if (failure) {
        // Nothing was written: the pane keeps what it showed.
        lblStatus->setText("Ready");
        ShowFailure("The photo cannot be shown.\n" + *failure, "Kelvara");
        return;
    }
    if (page.empty()) return;  // given up for a newer click, or for the window's closing
    Navigate2(page);
    picBox->show();
    Image1->hide();
    QCoreApplication::processEvents();
    lblStatus->setText("Ready");
    // The photo is shown, zeros and all; where the card gave nothing is said.
    if (!unreadable.empty()) ShowFailure(UnreadableText(unreadable), "Kelvara");
}

void FrmMain::Navigate2(const std::string& pagePath) {
    const QUrl url = QUrl::fromLocalFile(QDir::fromNativeSeparators(QString::fromStdString(pagePath)));
    // The file names never change, so the same address is loaded again and again: reload it
    // past every cache, or the pane could show the photo before.
    if (WB2->url() == url)
        WB2->triggerPageAction(QWebEnginePage::ReloadAndBypassCache);
    else
        WB2->load(url);
    ++previews_;
}

void FrmMain::btnSave_Click() {
    const int row = lstFiles->currentRow();
    if (row < 0) return;
    SaveEntries({row});
}

void FrmMain::btnSaveAll_Click() {
    std::vector<std::int64_t> all(static_cast<std::size_t>(lstFiles->count()));
    for (std::size_t i = 0; i < all.size(); ++i) all[i] = static_cast<std::int64_t>(i);
    if (all.empty()) return;
    SaveEntries(all);
}

void FrmMain::SaveEntries(const std::vector<std::int64_t>& indexes) {
    RunCommand([&] {
        if (const auto folder = ChooseFolder(PhotoDrives(FoundPhotoTable, indexes)))
            SavePhotos(platform_, *this, FoundPhotoTable, indexes, *folder, Prefix);
    });
}

void FrmMain::closeEvent(QCloseEvent* event) {
    // A command running in its yields would otherwise go on out of sight to its end. It stops
    // at its next read, run or photo, and the dialogs the window owns go as a Cancel would.
    closing_ = true;
    for (QWidget* child : findChildren<QWidget*>())
        if (child->isWindow() && child->isVisible()) child->close();
    QWidget::closeEvent(event);
}

QAction* FrmMain::ToolbarButton(int index) const {
    return index >= 1 && index <= static_cast<int>(toolbarButtons_.size()) ? toolbarButtons_[index - 1] : nullptr;
}

}  // namespace kelvara
