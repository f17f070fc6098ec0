// The main window on the offscreen platform, driven through its real controls.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFrame>
#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QTest>
#include <QToolBar>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <QWebEngineView>
#include <QWindow>
#include <algorithm>
#include <filesystem>

#include "app/frm_main.h"
#include "dialogs/frm_about.h"
#include "dialogs/frm_browser.h"
#include "dialogs/frm_options.h"
#include "folder_dialogs/save_folder.h"
#include "platform/posix/posix_platform.h"
#include "tests/gui_main/destination_answer.h"
#include "tests/gui_main/message_answers.h"
#include "tests/support/fake_platform.h"
#include "tests/support/fat_image.h"
#include "tests/support/mock_udisks.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_card.h"
#include "ui/message_box.h"

namespace kelvara {
namespace {

using testing::FakePlatform;

using Messages = testing::MessageAnswers;

void Choose(FrmMain& window, const QString& drive) {
    const int index = window.cbxDrives->findText(drive);
    ASSERT_GE(index, 0) << drive.toStdString();
    window.cbxDrives->setCurrentIndex(index);
    emit window.cbxDrives->activated(index);
}

void Click(FrmMain& window, int button) {
    QWidget* widget = window.Toolbar1->widgetForAction(window.ToolbarButton(button));
    ASSERT_NE(widget, nullptr);
    QTest::mouseClick(widget, Qt::LeftButton);
}

// Runs the application's event loop as the program does: until its last window is closed, or
// half a minute has passed should that never happen.
void RunTheEventLoop() {
    QTimer safetyNet;
    safetyNet.setSingleShot(true);
    QObject::connect(&safetyNet, &QTimer::timeout, qApp, &QCoreApplication::quit);
    safetyNet.start(30000);
    QApplication::exec();
}

template <typename T>
int OpenWindows() {
    int count = 0;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (qobject_cast<T*>(widget) && widget->isVisible()) ++count;
    return count;
}

TEST(FrmMain, StartsWithEveryControlInPlaceAndNothingChosen) {
    FakePlatform platform;
    FrmMain window(platform);
    EXPECT_EQ(window.windowTitle(), "Kelvara - Tobrin");
    EXPECT_EQ(window.size(), QSize(443, 385));
    EXPECT_EQ(window.cbxDrives->count(), 1);
    EXPECT_EQ(window.cbxDrives->currentText(), "Select Drive");
    EXPECT_EQ(window.lblSectors->text(), "0");
    EXPECT_EQ(window.lblSize->text(), "");
    EXPECT_EQ(window.lblStatus->text(), "Ready");
    EXPECT_EQ(window.lblCurrent->text(), "");
    EXPECT_EQ(window.lblTotal->text(), "");
    EXPECT_EQ(window.Label1->text(), "Sector Current / Total");
    EXPECT_EQ(window.Prefix, "Image");
    EXPECT_FALSE(window.IsBusy());
    EXPECT_EQ(window.Progress->value(), 0);
    EXPECT_EQ(window.Progress->maximum(), 100);
    EXPECT_EQ(window.lstFiles->geometry(), QRect(8, 224, 169, 121));
    EXPECT_EQ(window.lblSectors->parentWidget(), window.Frame1);

    // The browser pane: hidden, clipped to 272 - 17 square minus the border. The page starts at
    // the opening's corner and is drawn so the whole 256-pixel photo fits the 251 inside.
    ASSERT_NE(window.picBox, nullptr);
    EXPECT_TRUE(window.picBox->isHidden());
    EXPECT_EQ(window.picBox->geometry(), QRect(184, 120, 255, 255));
    EXPECT_EQ(window.WB2->pos(), QPoint(0, 0));
    EXPECT_EQ(window.WB2->size(), QSize(272, 272));
    EXPECT_DOUBLE_EQ(window.WB2->zoomFactor(), 251.0 / 256);
    // The frame's line runs below the drive combo, not across it.
    EXPECT_GT(window.Frame1->y() + window.Frame1->frameRect().top(), window.cbxDrives->geometry().bottom());
    EXPECT_FALSE(window.Image1->isHidden());
    EXPECT_EQ(window.Image1->pixmap().toImage(), window.ImageList2.ListImage(1).toImage());

    // Thirteen toolbar buttons, separators counted.
    const char* captions[] = {"", "", "Scan", "", "Options", "", "Help", "", "About", "", "Image Disk", "", "Disk Wipe"};
    for (int i = 1; i <= 13; ++i) {
        ASSERT_NE(window.ToolbarButton(i), nullptr);
        EXPECT_EQ(window.ToolbarButton(i)->isSeparator(), captions[i - 1][0] == 0) << i;
        if (!window.ToolbarButton(i)->isSeparator()) {
            EXPECT_EQ(window.ToolbarButton(i)->text(), captions[i - 1]);
        }
    }
}

TEST(FrmMain, ListsRemovableDrivesOnlyInTheSystemsOrder) {
    FakePlatform platform;
    platform.drives['C'].type = DRIVE_FIXED;
    platform.drives['D'].type = DRIVE_CDROM;
    platform.AddVolume('F', 10);
    platform.drives['G'].type = DRIVE_REMOTE;
    platform.drives['H'] = FakePlatform::Drive{};  // a card reader without a card
    platform.AddVolume('E', 10);
    FrmMain window(platform);
    QStringList entries;
    for (int i = 0; i < window.cbxDrives->count(); ++i) entries << window.cbxDrives->itemText(i);
    EXPECT_EQ(entries, (QStringList{"Select Drive", "E:\\", "F:\\", "H:\\"}));
    EXPECT_EQ(window.cbxDrives->currentIndex(), 0);
}

TEST(FrmMain, ListsAtMostTwentyOneDrivesAndSurvivesAFailingQuery) {
    FakePlatform platform;
    for (char letter = 'A'; letter <= 'X'; ++letter) platform.AddVolume(letter, 1);
    FrmMain many(platform);
    EXPECT_EQ(many.cbxDrives->count(), 22);
    EXPECT_EQ(many.cbxDrives->itemText(21), "U:\\");

    FakePlatform failing;
    failing.AddVolume('E', 1);
    failing.driveStringsFail = true;
    FrmMain none(failing);
    EXPECT_EQ(none.cbxDrives->count(), 1);
    EXPECT_EQ(none.lblSectors->text(), "0");
}

TEST(FrmMain, ChoosingADriveShowsItsSectorsAndSize) {
    FakePlatform platform;
    platform.AddVolume('E', 16);
    platform.drives['E'].sectorsPerCluster = 4;
    platform.drives['E'].totalClusters = 15000;
    platform.drives['F'] = FakePlatform::Drive{};
    platform.drives['F'].sizeKnown = false;
    FrmMain window(platform);

    Choose(window, "E:\\");
    EXPECT_EQ(window.lblSectors->text(), "60000");
    EXPECT_EQ(window.lblSize->text(), "30720000");
    EXPECT_EQ(window.Image1->pixmap().toImage(), window.ImageList2.ListImage(2).toImage());

    platform.calls.clear();
    Choose(window, "E:\\");  // the same drive again is asked again
    EXPECT_EQ(platform.CallsNamed("GetDiskFreeSpaceA").size(), 1u);

    Choose(window, "Select Drive");
    EXPECT_EQ(window.lblSectors->text(), "0");
    EXPECT_EQ(window.lblSize->text(), "30720000");
    EXPECT_EQ(window.Image1->pixmap().toImage(), window.ImageList2.ListImage(2).toImage());

    Choose(window, "F:\\");
    EXPECT_EQ(window.lblSectors->text(), "0");
    EXPECT_EQ(window.lblSize->text(), "30720000");

    // Over 2^31 sectors (a 2 TiB card): the count and the size are the true ones.
    platform.drives['E'].sectorsPerCluster = 64;
    platform.drives['E'].totalClusters = 0x4000000;
    Choose(window, "E:\\");
    EXPECT_EQ(window.lblSectors->text(), "4294967296");
    // The bar counts in int: such a card is shown in larger steps, and full is still full.
    window.SetProgressMax(std::int64_t{1} << 32);
    window.SetProgressValue(std::int64_t{1} << 31);
    window.FlushControls();
    EXPECT_EQ(window.Progress->value() * 2, window.Progress->maximum());
    window.SetProgressValue(std::int64_t{1} << 32);
    window.FlushControls();
    EXPECT_EQ(window.Progress->value(), window.Progress->maximum());
    EXPECT_EQ(window.lblSize->text(), "2199023255552");
}

// A platform where drive E: is closed to the user, as a card reader is to all but root and the
// disk group when the desktop's disk service refuses too.
class RefusingPlatform : public FakePlatform {
public:
    bool GetDiskFreeSpaceA(const std::string& root, DWORD& perCluster, DWORD& perSector, DWORD& free,
                           DWORD& total) override {
        refused_ = root == "E:\\";
        return !refused_ && FakePlatform::GetDiskFreeSpaceA(root, perCluster, perSector, free, total);
    }
    DWORD GetLastError() override { return refused_ ? ERROR_ACCESS_DENIED : FakePlatform::GetLastError(); }
    std::string FormatErrorMessage(DWORD code) override {
        return refused_ && code == ERROR_ACCESS_DENIED ? "Run as a member of the disk group." : FakePlatform::FormatErrorMessage(code);
    }

private:
    bool refused_ = false;
};

TEST(FrmMain, ADriveTheUserMayNotReadIsSaidNotShownAsEmpty) {
    Messages messages;
    RefusingPlatform platform;
    platform.AddVolume('E', 100);
    platform.drives['F'] = FakePlatform::Drive{};  // a reader without a card stays silent
    FrmMain window(platform);
    Choose(window, "E:\\");
    EXPECT_EQ(window.lblSectors->text(), "0");
    Choose(window, "F:\\");
    Choose(window, "Select Drive");
    EXPECT_EQ(messages.Texts(), QStringList{"Drive E:\\ cannot be read.\nRun as a member of the disk group."});
}

// Cards put in and taken out while the window is open, on the desktop's disk service.
TEST(FrmMain, TheDriveListFollowsCardsWhenItOpensAndKeepsTheChosenDrive) {
    testing::MockUdisks udisks;
    if (!udisks.unavailable().empty()) GTEST_SKIP() << udisks.unavailable();
    const testing::TempDir& dir = udisks.dir();
    for (const char* name : {"sdb", "sdc"}) testing::MakeFatImage(dir.file(name), 12, 4000);
    udisks.Command("add sdb card " + dir.file("sdb"));
    Messages messages;
    PosixPlatform::Options options;
    options.home = dir.path();
    PosixPlatform platform(options);
    FrmMain window(platform);
    const auto entries = [&] {
        QStringList texts;
        for (int i = 0; i < window.cbxDrives->count(); ++i) texts << window.cbxDrives->itemText(i);
        return texts;
    };
    const auto open = [&] {
        window.cbxDrives->showPopup();
        window.cbxDrives->hidePopup();
    };
    EXPECT_EQ(entries(), (QStringList{"Select Drive", "D:\\"}));

    udisks.Command("add sdc card " + dir.file("sdc"));
    EXPECT_EQ(entries(), (QStringList{"Select Drive", "D:\\"}));  // not before the list opens
    open();
    EXPECT_EQ(entries(), (QStringList{"Select Drive", "D:\\", "E:\\"}));
    Choose(window, "E:\\");
    const QString sectors = window.lblSectors->text();
    EXPECT_NE(sectors, "0");

    // Both cards go: the chosen one stays chosen, with the size shown, until another is chosen.
    udisks.Command("remove sdb");
    udisks.Command("remove sdc");
    open();
    EXPECT_EQ(entries(), (QStringList{"Select Drive", "E:\\"}));
    EXPECT_EQ(window.cbxDrives->currentText(), "E:\\");
    EXPECT_EQ(window.lblSectors->text(), sectors);

    udisks.Command("add sdb card " + dir.file("sdb"));  // back under its letter
    open();
    EXPECT_EQ(entries(), (QStringList{"Select Drive", "D:\\", "E:\\"}));
    Choose(window, "D:\\");
    open();
    EXPECT_EQ(entries(), (QStringList{"Select Drive", "D:\\"}));
    EXPECT_TRUE(messages.shown().empty());
}

TEST(FrmMain, AnArgumentThatCanHoldNoCardIsRefusedAtStart) {
    testing::TempDir dir;
    const std::string pipe = dir.file("pipe");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    QProcess kelvara;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    kelvara.setProcessEnvironment(environment);
    kelvara.setReadChannel(QProcess::StandardError);
    const auto self = std::filesystem::absolute(::testing::internal::GetArgvs().at(0));
    kelvara.start(QString::fromStdString((self.parent_path() / "kelvara").string()), {QString::fromStdString(pipe)});
    // It says so before its message box waits for a person; before, it hung opening the pipe.
    const std::string expected =
        "kelvara: " + pipe + " is a named pipe (FIFO): only a disk image file or a block device can be read as a card.\n";
    std::string said;
    while (said.find(expected) == std::string::npos && kelvara.waitForReadyRead(30000))
        said += kelvara.readAllStandardError().toStdString();
    kelvara.kill();
    kelvara.waitForFinished();
    EXPECT_NE(said.find(expected), std::string::npos) << said;
}

TEST(FrmMain, ScanIsRefusedWithoutADriveOrASize) {
    Messages messages;
    FakePlatform platform;
    platform.AddVolume('E', 100);
    platform.drives['F'] = FakePlatform::Drive{};
    platform.drives['F'].sizeKnown = false;
    FrmMain window(platform);
    window.FoundPhotoTable.push_back({7, 9, {}, {0xFF, 0xD9}, "E:\\"});  // an earlier scan's
    window.lstFiles->Follow();
    Click(window, 3);
    Choose(window, "F:\\");
    Click(window, 3);
    EXPECT_EQ(window.lstFiles->count(), 1);
    EXPECT_EQ(window.lblStatus->text(), "Ready");
    EXPECT_TRUE(messages.shown().empty());
    EXPECT_TRUE(platform.CallsNamed("ReadFile").empty());
}

TEST(FrmMain, ScanShowsItsProgressAndEndsAtRest) {
    Messages messages;
    FakePlatform platform;
    auto& volume = platform.AddVolume('E', 1013);
    volume[512 * 40] = 0xFF;
    volume[512 * 40 + 1] = 0xD8;
    FrmMain window(platform);
    window.FoundPhotoTable.push_back({7, 9, {}, {0xFF, 0xD9}, "E:\\"});  // an earlier scan's
    window.lstFiles->Follow();
    Choose(window, "E:\\");

    QString statusDuringScan, totalDuringScan;
    int listDuringScan = -1;
    platform.onCall = [&](const std::string& call) {
        if (call.rfind("ReadFile", 0) == 0 && statusDuringScan.isEmpty()) {
            statusDuringScan = window.lblStatus->text();
            totalDuringScan = window.lblTotal->text();
            listDuringScan = window.lstFiles->count();
            EXPECT_TRUE(window.IsBusy());
        }
    };
    Click(window, 3);
    platform.onCall = nullptr;
    EXPECT_EQ(statusDuringScan, "Scaning. .");
    EXPECT_EQ(totalDuringScan, "1013");
    EXPECT_EQ(listDuringScan, 0);

    ASSERT_EQ(window.lstFiles->count(), 1);
    EXPECT_EQ(window.lstFiles->EntryText(0), "Image001.JPG");
    EXPECT_EQ(window.lstFiles->currentRow(), 0);
    EXPECT_EQ(window.PreviewCount(), 0);  // selected during the scan, not previewed
    ASSERT_EQ(messages.shown().size(), 1u);
    EXPECT_EQ(messages.shown()[0].text, "Kelvara's found 1 Files");
    EXPECT_EQ(messages.shown()[0].title, "Scan Complete");
    EXPECT_EQ(messages.shown()[0].icon, MessageBox::Icon::None);
    EXPECT_EQ(window.lblStatus->text(), "Ready");
    EXPECT_EQ(window.Progress->value(), 0);
    EXPECT_EQ(window.Progress->maximum(), 1013);
    EXPECT_EQ(window.lblCurrent->text(), "1000");
    EXPECT_FALSE(window.IsBusy());
    EXPECT_EQ(window.Image1->pixmap().toImage(), window.ImageList2.ListImage(3).toImage());
    EXPECT_EQ(window.FoundPhotoTable[0].StartSector, 40);
    EXPECT_EQ(window.FoundPhotoTable[0].EndSector, 1013);
}

TEST(FrmMain, TheFamilyDecidesWhichScanRuns) {
    for (const DWORD id : {0u, 1u, 2u, 3u}) {
        Messages messages;
        FakePlatform platform;
        platform.platformId = id;
        platform.AddVolume('E', 60);
        FrmMain window(platform);
        Choose(window, "E:\\");
        Click(window, 3);
        // The 9x disk service (code 6) reads only on that family; NT asks the volume its length.
        const auto calls = platform.CallsNamed("DeviceIoControl");
        EXPECT_EQ(std::none_of(calls.begin(), calls.end(), [](const std::string& call) { return call.rfind("DeviceIoControl(6,", 0) == 0; }),
                  id == 2)
            << id;
        EXPECT_EQ(messages.Texts(), QStringList{"Kelvara's found 0 Files"});
    }
}

TEST(FrmMain, ACommandStartedDuringAScanDoesNothingButWindowsStillOpen) {
    Messages messages;
    FakePlatform platform;
    platform.AddVolume('E', 3000);
    FrmMain window(platform);
    Choose(window, "E:\\");
    const int optionsBefore = OpenWindows<frmOptions>();
    bool clicked = false;
    platform.onCall = [&](const std::string& call) {
        if (clicked || call.rfind("ReadFile", 0) != 0) return;
        clicked = true;
        window.Toolbar1_ButtonClick(3);   // a second scan
        window.Toolbar1_ButtonClick(13);  // a wipe
        window.Toolbar1_ButtonClick(5);   // options still open
    };
    window.Toolbar1_ButtonClick(3);
    platform.onCall = nullptr;
    EXPECT_EQ(messages.Texts(), QStringList{"Kelvara's found 0 Files"});
    EXPECT_EQ(OpenWindows<frmOptions>(), optionsBefore + 1);
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (qobject_cast<frmOptions*>(widget)) widget->close();
}

// A card where every sector starts like a JPEG: tens of thousands of entries, listed as the
// scan finds them, the newest selected and none previewed. They keep the prefix their scan
// began with, even when Options changes it meanwhile or afterwards.
TEST(FrmMain, ThousandsOfEntriesAreListedWithTheirScansPrefix) {
    Messages messages;
    FakePlatform platform;
    constexpr int kSectors = 30000;
    auto& volume = platform.AddVolume('E', kSectors);
    for (int sector = 0; sector < kSectors; ++sector) {
        volume[std::size_t(sector) * 512] = 0xFF;
        volume[std::size_t(sector) * 512 + 1] = 0xD8;
    }
    FrmMain window(platform);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    Choose(window, "E:\\");
    int listedMidScan = -1;
    platform.onCall = [&](const std::string& call) {
        if (call.rfind("ReadFile", 0) != 0) return;
        QThread::msleep(20);  // each run of 600 sectors outlasts the window's pause between two looks
        if (listedMidScan >= 0 || window.FoundPhotoTable.size() < 10000) return;
        listedMidScan = window.lstFiles->count();
        window.Prefix = "Later";  // as Options would, while the scan runs
    };
    Click(window, 3);
    platform.onCall = nullptr;
    EXPECT_GT(listedMidScan, 0) << "the list follows the scan";
    ASSERT_EQ(window.lstFiles->count(), kSectors);
    EXPECT_EQ(window.lstFiles->EntryText(0), "Image001.JPG");
    EXPECT_EQ(window.lstFiles->EntryText(99), "Image100.JPG");
    EXPECT_EQ(window.lstFiles->EntryText(kSectors - 1), "Image30000.JPG");
    EXPECT_EQ(window.lstFiles->currentRow(), kSectors - 1);
    EXPECT_TRUE(window.lstFiles->viewport()->rect().intersects(window.lstFiles->EntryRect(kSectors - 1)))
        << "the newest is scrolled into sight";
    EXPECT_EQ(window.PreviewCount(), 0);
    EXPECT_EQ(messages.Texts(), QStringList{"Kelvara's found 30000 Files"});

    window.Prefix = "Again";
    EXPECT_EQ(window.lstFiles->EntryText(kSectors - 1), "Image30000.JPG");
    Click(window, 3);
    EXPECT_EQ(window.lstFiles->EntryText(0), "Again001.JPG");
}

// A person choosing another drive while a card is scanned, with the keys and the mouse: the
// combo looks unavailable and takes nothing, so the scan reads only the card it started on and
// its list is that card's.
TEST(FrmMain, TheDriveComboIsLockedWhileAScanRunsAndTheScanKeepsItsCard) {
    Messages messages;
    FakePlatform platform;
    auto& card = platform.AddVolume('E', 20000);  // read in 50 runs of 400 sectors
    card[512 * 100] = 0xFF;
    card[512 * 100 + 1] = 0xD8;
    auto& other = platform.AddVolume('F', 30000);
    for (int sector = 0; sector < 30000; sector += 1000) {
        other[512 * sector] = 0xFF;
        other[512 * sector + 1] = 0xD8;
    }
    FrmMain window(platform);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    Choose(window, "E:\\");
    platform.onCall = [](const std::string& call) {
        if (call.rfind("ReadFile", 0) == 0) QThread::msleep(20);
    };
    bool triedMidScan = false, lockedMidScan = false;
    QTimer::singleShot(0, &window, [&] {
        triedMidScan = window.IsBusy();
        lockedMidScan = !window.cbxDrives->isEnabled();
        window.cbxDrives->setFocus();
        QTest::keyClick(window.cbxDrives, Qt::Key_Down);
        QTest::mouseClick(window.cbxDrives, Qt::LeftButton);
        QTest::keyClick(window.cbxDrives, Qt::Key_Down);
        QTest::keyClick(window.cbxDrives, Qt::Key_Return);
        lockedMidScan = lockedMidScan && !window.cbxDrives->view()->isVisible();
    });
    Click(window, 3);
    platform.onCall = nullptr;

    ASSERT_TRUE(triedMidScan) << "the scan ended before the drive could be chosen";
    EXPECT_TRUE(lockedMidScan);
    EXPECT_EQ(window.cbxDrives->currentText(), "E:\\");
    EXPECT_EQ(window.lblSectors->text(), "20000");
    for (const std::string& call : platform.CallsNamed("CreateFileA")) EXPECT_EQ(call.find("F:"), std::string::npos) << call;
    EXPECT_EQ(messages.Texts(), QStringList{"Kelvara's found 1 Files"});
    ASSERT_EQ(window.lstFiles->count(), 1);
    EXPECT_EQ(window.FoundPhotoTable[0].Drive, "E:\\");
    EXPECT_EQ(window.FoundPhotoTable[0].EndSector, 20000);
    EXPECT_TRUE(window.cbxDrives->isEnabled()) << "unlocked when the scan ends";
}

// A slow card: every read takes a fifth of a second, the whole scan ten. Closing the window
// mid-scan stops the scan at its next read; the program (its event loop) ends within a second
// of the close, and no message is left for nobody to read.
TEST(FrmMain, ClosingTheWindowMidScanEndsTheScanAndTheProgramWithinASecond) {
    Messages messages;
    FakePlatform platform;
    platform.AddVolume('E', 20000);  // read in 50 runs of 400 sectors
    FrmMain window(platform);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    Choose(window, "E:\\");
    int reads = 0;
    platform.onCall = [&](const std::string& call) {
        if (call.rfind("ReadFile", 0) != 0) return;
        ++reads;
        QThread::msleep(200);
    };
    QElapsedTimer sinceClose;
    QTimer::singleShot(0, &window, [&] { Click(window, 3); });
    QTimer::singleShot(700, &window, [&] {
        EXPECT_TRUE(window.IsBusy());
        sinceClose.start();
        window.close();
    });
    RunTheEventLoop();
    const qint64 afterClose = sinceClose.isValid() ? sinceClose.elapsed() : -1;
    platform.onCall = nullptr;

    ASSERT_GE(afterClose, 0) << "the window was not closed during the scan";
    EXPECT_LT(afterClose, 1000);
    EXPECT_LT(reads, 10);
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(window.IsBusy());
    EXPECT_FALSE(window.CommandRunning());
    EXPECT_EQ(window.lblStatus->text(), "Ready");
    EXPECT_TRUE(messages.shown().empty()) << messages.Texts().join('\n').toStdString();
}

// Closed while the destination dialog of Image Disk is up, the dialog goes with the window as a
// Cancel; closed while the image is written, the image stops after its run and the partial
// file stays, closed, as the command line leaves it after Ctrl-C.
TEST(FrmMain, ClosingTheWindowDuringImageDiskStopsItAndKeepsThePartialImage) {
    Messages messages;
    FakePlatform platform;
    platform.AddVolume('E', 20000);  // copied in runs of many sectors, each a read
    platform.folders.insert("C:\\");
    platform.folders.insert("C:\\Out");
    FrmMain window(platform);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    Choose(window, "E:\\");

    QTimer::singleShot(0, &window, [&] { Click(window, 11); });
    QTimer::singleShot(300, &window, [&] {
        EXPECT_EQ(window.findChildren<SaveFolder*>().size(), 1);
        window.close();
    });
    RunTheEventLoop();
    EXPECT_TRUE(window.findChildren<SaveFolder*>().isEmpty());
    EXPECT_EQ(window.Folder, "No");
    EXPECT_TRUE(messages.shown().empty());
    EXPECT_TRUE(platform.CallsNamed("ReadFile").empty());

    FrmMain again(platform);
    again.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&again));
    Choose(again, "E:\\");
    platform.onCall = [&](const std::string& call) {
        if (call.rfind("ReadFile", 0) == 0) QThread::msleep(200);
    };
    QElapsedTimer sinceClose;
    testing::DestinationAnswer answer("C:\\Out");
    QTimer::singleShot(0, &again, [&] { Click(again, 11); });
    QTimer::singleShot(700, &again, [&] {
        sinceClose.start();
        again.close();
    });
    RunTheEventLoop();
    const qint64 afterClose = sinceClose.isValid() ? sinceClose.elapsed() : -1;
    platform.onCall = nullptr;
    ASSERT_GE(afterClose, 0);
    EXPECT_LT(afterClose, 1000);
    ASSERT_EQ(messages.Texts(), QStringList{"Make image at C:\\Out\\"});
    ASSERT_TRUE(platform.files.count("C:\\Out\\TOBRN.IMG.partial"));  // only a whole image is TOBRN.IMG
    const std::size_t kept = platform.files.at("C:\\Out\\TOBRN.IMG.partial").size();
    EXPECT_GT(kept, 0u);
    EXPECT_LT(kept, 20000u * 512);
    EXPECT_EQ(kept % 512, 0u);
    EXPECT_EQ(platform.OpenHandles(), 0);
}

TEST(FrmMain, EachWindowCommandOpensANewWindowAndSeparatorsDoNothing) {
    FakePlatform platform;
    FrmMain window(platform);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    Click(window, 5);
    Click(window, 5);
    Click(window, 9);
    Click(window, 9);
    Click(window, 7);
    EXPECT_EQ(OpenWindows<frmOptions>(), 2);
    // The two Options dialogs do not lie exactly over each other, and both belong to the main
    // window, which the window system then keeps beneath them.
    const auto options = window.findChildren<frmOptions*>();
    ASSERT_EQ(options.size(), 2);
    EXPECT_NE(options[0]->pos(), options[1]->pos());
    for (const frmOptions* dialog : options) {
        EXPECT_TRUE(dialog->isWindow());
        ASSERT_NE(dialog->windowHandle(), nullptr);
        EXPECT_EQ(dialog->windowHandle()->transientParent(), window.windowHandle());
    }
    EXPECT_EQ(OpenWindows<frmAbout>(), 2);
    EXPECT_EQ(OpenWindows<FrmBrowser>(), 1);
    for (int separator : {1, 2, 4, 6, 8, 10, 12}) window.Toolbar1_ButtonClick(separator);
    EXPECT_EQ(window.lblStatus->text(), "Ready");
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget != &window && widget->isWindow()) widget->close();
}

// A real card image: photos copied into DCIM and deleted, found by both families.
TEST(FrmMain, ScansOfARealCardFindTheDeletedPhotosInCardOrder) {
    testing::TempDir dir;
    const auto card = testing::MakePhotoCard(dir.file("card.img"), 12);
    std::vector<QStringList> lists;
    for (const DWORD family : {VER_PLATFORM_WIN32_NT, VER_PLATFORM_WIN32_WINDOWS}) {
        Messages messages;
        PosixPlatform::Options options;
        options.images.push_back({card.image});
        options.platformId = family;
        options.home = dir.path();
        PosixPlatform platform(options);
        FrmMain window(platform);
        Choose(window, "D:\\");
        Click(window, 3);
        QStringList names;
        for (int i = 0; i < window.lstFiles->count(); ++i) names << window.lstFiles->EntryText(i);
        lists.push_back(names);
        ASSERT_EQ(names.size(), static_cast<int>(card.photos.size()));
        for (int i = 0; i < names.size(); ++i)
            EXPECT_EQ(names[i].right(4), card.photos[static_cast<std::size_t>(i)].gif ? ".GIF" : ".JPG") << i;
        EXPECT_EQ(messages.Texts(), QStringList{"Kelvara's found 12 Files"});
        for (int i = 0; i + 1 < names.size(); ++i)
            EXPECT_EQ(window.FoundPhotoTable[i].EndSector, window.FoundPhotoTable[i + 1].StartSector);
    }
    EXPECT_EQ(lists[0], lists[1]);
}

// The command line runs the same scan: the same names, starts and ends as the window's list.
TEST(FrmMain, TheWindowAndTheCommandLineListTheSameCard) {
    testing::TempDir dir;
    const auto card = testing::MakePhotoCard(dir.file("card.img"), 9);
    Messages messages;
    PosixPlatform::Options options;
    options.images.push_back({card.image});
    options.home = dir.path();
    PosixPlatform platform(options);
    FrmMain window(platform);
    Choose(window, "D:\\");
    Click(window, 3);
    QStringList fromWindow;
    for (int i = 0; i < window.lstFiles->count(); ++i)
        fromWindow << QString("%1\t%2\t%3")
                          .arg(window.lstFiles->EntryText(i))
                          .arg(window.FoundPhotoTable[i].StartSector)
                          .arg(window.FoundPhotoTable[i].EndSector);
    fromWindow << messages.Texts().last();

    QProcess cli;
    const auto self = std::filesystem::absolute(::testing::internal::GetArgvs().at(0));
    cli.start(QString::fromStdString((self.parent_path() / "kelvara-cli").string()),
              {"scan", QString::fromStdString(card.image), "--quiet"});
    ASSERT_TRUE(cli.waitForFinished(60000));
    EXPECT_EQ(cli.exitCode(), 0);
    const QStringList fromCli = QString::fromUtf8(cli.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    EXPECT_EQ(fromCli, fromWindow);
    EXPECT_EQ(fromWindow.size(), 10);
}

}  // namespace
}  // namespace kelvara
