// The main window's core on the fake toolkit, driven as the user drives it: what it shows, what
// each command does, and what it refuses.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "tests/support/fake_platform.h"
#include "tests/window/main_window.h"
#include "window/frm_about.h"
#include "window/frm_browser.h"
#include "window/frm_options.h"

namespace kelvara {
namespace {

using namespace ids::frm_main;
using testing::FakePlatform;
using testing::FakeView;
using testing::MainWindow;

void Sleep(int milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

// The list holds one entry, as a scan that found one photo leaves it.
void AnEarlierScansPhoto(FrmMain& window) {
    window.SetBusy(true);
    window.FoundPhotoTable.push_back({7, 9, {}, {0xFF, 0xD9}, "E:\\"});
    window.AddFoundEntry("Image001.JPG");
    window.FlushControls();
    window.SetBusy(false);
}

TEST(FrmMain, StartsWithEveryControlInPlaceAndNothingChosen) {
    FakePlatform platform;
    MainWindow main(platform);
    FakeView& view = main.view;
    EXPECT_EQ(view.Text(0), "Kelvara - Tobrin");
    EXPECT_EQ(view.layout().client, (Size{443, 385}));
    EXPECT_EQ(view.layout().border, WindowLayout::Border::Fixed);
    EXPECT_EQ(view.Entries(cbxDrives), std::vector<std::string>{"Select Drive"});
    EXPECT_EQ(view.Selected(cbxDrives), 0);
    EXPECT_EQ(view.Text(lblSectors), "0");
    EXPECT_EQ(view.Text(lblSize), "");
    EXPECT_EQ(view.Text(lblStatus), "Ready");
    EXPECT_EQ(view.Text(lblCurrent), "");
    EXPECT_EQ(view.Text(lblTotal), "");
    EXPECT_EQ(view.Text(Label1), "Sector Current / Total");
    EXPECT_EQ(main.window.Prefix, "Image");
    EXPECT_FALSE(main.window.IsBusy());
    EXPECT_EQ(view.Progress(Progress), std::pair(100, 0));
    EXPECT_EQ(view.RectOf(lstFiles), (Rect{8, 224, 169, 121}));
    EXPECT_EQ(view.layout().Find(lblSectors)->parent, Frame1);
    EXPECT_EQ(main.Count(), 0);

    // The browser pane: hidden, 272 less a 17-pixel scroll bar square, the browser inside it at
    // -2, -2 so that its own frame lies under the pane's border.
    EXPECT_EQ(view.paneOf, picBox);
    EXPECT_FALSE(view.Visible(picBox));
    EXPECT_EQ(view.paneRect, (Rect{184, 120, 255, 255}));
    EXPECT_EQ(view.browserInPane, (Rect{-2, -2, 272, 272}));
    EXPECT_TRUE(view.Visible(Image1));
    EXPECT_EQ(view.Picture(Image1), std::pair(ImageListId::ImageList2, 1));

    // Thirteen toolbar buttons, separators counted; no key or tooltip.
    const char* captions[] = {"", "", "Scan", "", "Options", "", "Help", "", "About", "", "Image Disk", "", "Disk Wipe"};
    ASSERT_EQ(view.layout().toolbar.size(), 13u);
    for (int i = 1; i <= 13; ++i) {
        const ToolbarItem& button = view.layout().toolbar[static_cast<std::size_t>(i - 1)];
        EXPECT_EQ(button.caption == nullptr, captions[i - 1][0] == 0) << i;
        if (button.caption) {
            EXPECT_STREQ(button.caption, captions[i - 1]);
        }
    }
    EXPECT_EQ(view.layout().toolbarButtonSize, (Size{59, 68}));
    // Centred on the screen.
    const Point at = view.Position();
    const Size outer = main.toolkit.frame;
    EXPECT_NEAR(at.x, (1280 - 443 - outer.width) / 2, 5);
}

TEST(FrmMain, ListsRemovableDrivesOnlyInTheSystemsOrder) {
    FakePlatform platform;
    platform.drives['C'].type = DRIVE_FIXED;
    platform.drives['D'].type = DRIVE_CDROM;
    platform.AddVolume('F', 10);
    platform.drives['G'].type = DRIVE_REMOTE;
    platform.drives['H'] = FakePlatform::Drive{};  // a card reader without a card
    platform.AddVolume('E', 10);
    MainWindow main(platform);
    EXPECT_EQ(main.view.Entries(cbxDrives), (std::vector<std::string>{"Select Drive", "E:\\", "F:\\", "H:\\"}));
    EXPECT_EQ(main.view.Selected(cbxDrives), 0);
}

TEST(FrmMain, ListsAtMostTwentyOneDrivesAndSurvivesAFailingQuery) {
    FakePlatform platform;
    for (char letter = 'A'; letter <= 'X'; ++letter) platform.AddVolume(letter, 1);
    MainWindow many(platform);
    ASSERT_EQ(many.view.Entries(cbxDrives).size(), 22u);
    EXPECT_EQ(many.view.Entries(cbxDrives)[21], "U:\\");

    FakePlatform failing;
    failing.AddVolume('E', 1);
    failing.driveStringsFail = true;
    MainWindow none(failing);
    EXPECT_EQ(none.view.Entries(cbxDrives).size(), 1u);
    EXPECT_EQ(none.Caption(lblSectors), "0");
}

TEST(FrmMain, ChoosingADriveShowsItsSectorsAndSize) {
    FakePlatform platform;
    platform.AddVolume('E', 16);
    platform.drives['E'].sectorsPerCluster = 4;
    platform.drives['E'].totalClusters = 15000;
    platform.drives['F'] = FakePlatform::Drive{};
    platform.drives['F'].sizeKnown = false;
    MainWindow main(platform);

    main.Choose("E:\\");
    EXPECT_EQ(main.Caption(lblSectors), "60000");
    EXPECT_EQ(main.Caption(lblSize), "30720000");
    EXPECT_EQ(main.view.Picture(Image1).second, 2);

    platform.calls.clear();
    main.Choose("E:\\");  // the same drive again is asked again
    EXPECT_EQ(platform.CallsNamed("GetDiskFreeSpaceA").size(), 1u);

    main.Choose("Select Drive");
    EXPECT_EQ(main.Caption(lblSectors), "0");
    EXPECT_EQ(main.Caption(lblSize), "30720000");
    EXPECT_EQ(main.view.Picture(Image1).second, 2);

    main.Choose("F:\\");
    EXPECT_EQ(main.Caption(lblSectors), "0");
    EXPECT_EQ(main.Caption(lblSize), "30720000");

    // Over 2^31 sectors (a 2 TiB card): the count and the size are the true ones.
    platform.drives['E'].sectorsPerCluster = 64;
    platform.drives['E'].totalClusters = 0x4000000;
    main.Choose("E:\\");
    EXPECT_EQ(main.Caption(lblSectors), "4294967296");
    EXPECT_EQ(main.Caption(lblSize), "2199023255552");
    // The bar counts in int: such a card is shown in larger steps, and full is still full.
    main.window.SetProgressMax(std::int64_t{1} << 32);
    main.window.SetProgressValue(std::int64_t{1} << 31);
    main.window.FlushControls();
    EXPECT_EQ(main.view.Progress(Progress).second * 2, main.view.Progress(Progress).first);
    main.window.SetProgressValue(std::int64_t{1} << 32);
    main.window.FlushControls();
    EXPECT_EQ(main.view.Progress(Progress).second, main.view.Progress(Progress).first);
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
        return refused_ && code == ERROR_ACCESS_DENIED ? "Run as a member of the disk group."
                                                       : FakePlatform::FormatErrorMessage(code);
    }

private:
    bool refused_ = false;
};

TEST(FrmMain, ADriveTheUserMayNotReadIsSaidNotShownAsEmpty) {
    RefusingPlatform platform;
    platform.AddVolume('E', 100);
    platform.drives['F'] = FakePlatform::Drive{};  // a reader without a card stays silent
    MainWindow main(platform);
    main.Choose("E:\\");
    EXPECT_EQ(main.Caption(lblSectors), "0");
    main.Choose("F:\\");
    main.Choose("Select Drive");
    EXPECT_EQ(main.toolkit.Texts(), std::vector<std::string>{"Drive E:\\ cannot be read.\nRun as a member of the disk group."});
    EXPECT_EQ(main.toolkit.messages[0].icon, Message::Icon::Warning);
}

// Cards put in and taken out while the window is open: the list is asked for again each time it
// drops down, and the chosen drive stays chosen, in its letter's place, while it is gone.
TEST(FrmMain, TheDriveListFollowsCardsWhenItOpensAndKeepsTheChosenDrive) {
    FakePlatform platform;
    platform.drives['C'].type = DRIVE_FIXED;
    platform.AddVolume('D', 100);
    MainWindow main(platform);
    const auto entries = [&] { return main.view.Entries(cbxDrives); };
    const auto open = [&] { main.view.DropDown(cbxDrives); };
    using Entries = std::vector<std::string>;
    EXPECT_EQ(entries(), (Entries{"Select Drive", "D:\\"}));

    platform.AddVolume('E', 200);
    EXPECT_EQ(entries(), (Entries{"Select Drive", "D:\\"}));  // not before the list opens
    open();
    EXPECT_EQ(entries(), (Entries{"Select Drive", "D:\\", "E:\\"}));
    main.Choose("E:\\");
    EXPECT_EQ(main.Caption(lblSectors), "200");

    platform.drives.erase('D');
    platform.drives.erase('E');
    open();
    EXPECT_EQ(entries(), (Entries{"Select Drive", "E:\\"}));
    EXPECT_EQ(main.view.Selected(cbxDrives), 1);
    EXPECT_EQ(main.Caption(lblSectors), "200");

    platform.AddVolume('D', 100);  // back under its letter
    open();
    EXPECT_EQ(entries(), (Entries{"Select Drive", "D:\\", "E:\\"}));
    main.Choose("D:\\");
    open();
    EXPECT_EQ(entries(), (Entries{"Select Drive", "D:\\"}));
    // Where the system says a drive came, the list follows without being opened.
    platform.AddVolume('F', 300);
    main.window.DrivesChanged();
    EXPECT_EQ(entries(), (Entries{"Select Drive", "D:\\", "F:\\"}));
    EXPECT_EQ(main.view.Selected(cbxDrives), 1);
    EXPECT_TRUE(main.toolkit.messages.empty());
}

TEST(FrmMain, ScanIsRefusedWithoutADriveOrASize) {
    FakePlatform platform;
    platform.AddVolume('E', 100);
    platform.drives['F'] = FakePlatform::Drive{};
    platform.drives['F'].sizeKnown = false;
    MainWindow main(platform);
    AnEarlierScansPhoto(main.window);
    main.Click(3);
    main.Choose("F:\\");
    main.Click(3);
    EXPECT_EQ(main.Count(), 1);
    EXPECT_EQ(main.Caption(lblStatus), "Ready");
    EXPECT_TRUE(main.toolkit.messages.empty());
    EXPECT_TRUE(platform.CallsNamed("ReadFile").empty());
}

TEST(FrmMain, ScanShowsItsProgressAndEndsAtRest) {
    FakePlatform platform;
    auto& volume = platform.AddVolume('E', 1013);
    volume[512 * 40] = 0xFF;
    volume[512 * 40 + 1] = 0xD8;
    MainWindow main(platform);
    AnEarlierScansPhoto(main.window);
    main.Choose("E:\\");

    std::string statusDuringScan, totalDuringScan;
    std::int64_t listDuringScan = -1;
    platform.onCall = [&](const std::string& call) {
        if (call.rfind("ReadFile", 0) == 0 && statusDuringScan.empty()) {
            statusDuringScan = main.Caption(lblStatus);
            totalDuringScan = main.Caption(lblTotal);
            listDuringScan = main.Count();
            EXPECT_TRUE(main.window.IsBusy());
        }
    };
    main.Click(3);
    platform.onCall = nullptr;
    EXPECT_EQ(statusDuringScan, "Scaning. .");
    EXPECT_EQ(totalDuringScan, "1013");
    EXPECT_EQ(listDuringScan, 0);

    ASSERT_EQ(main.Count(), 1);
    EXPECT_EQ(main.Entry(0), "Image001.JPG");
    EXPECT_EQ(main.view.SelectedRow(lstFiles), 0);
    EXPECT_EQ(main.window.PreviewCount(), 0);  // selected during the scan, not previewed
    ASSERT_EQ(main.toolkit.messages.size(), 1u);
    EXPECT_EQ(main.toolkit.messages[0].text, "Kelvara's found 1 Files");
    EXPECT_EQ(main.toolkit.messages[0].title, "Scan Complete");
    EXPECT_EQ(main.toolkit.messages[0].icon, Message::Icon::None);
    EXPECT_EQ(main.Caption(lblStatus), "Ready");
    EXPECT_EQ(main.view.Progress(Progress), std::pair(1013, 0));
    EXPECT_EQ(main.Caption(lblCurrent), "1000");
    EXPECT_FALSE(main.window.IsBusy());
    EXPECT_EQ(main.view.Picture(Image1).second, 3);
    EXPECT_EQ(main.window.FoundPhotoTable[0].StartSector, 40);
    EXPECT_EQ(main.window.FoundPhotoTable[0].EndSector, 1013);
}

// An image cut short of its file system (its boot sector counts 400 sectors, the image holds
// 100): the scan reads it to its end and says so after its summary. The note's read is made
// before the scan, while clicks are held off: nothing is read once the summary is up.
TEST(FrmMain, AnImageShorterThanItsFileSystemIsSaidAfterTheSummary) {
    FakePlatform platform;
    auto& volume = platform.AddVolume('E', 100);
    const std::uint8_t bootSector[] = {0xEB, 0x3C, 0x90, 'M', 'S', 'W', 'I', 'N', '4', '.', '1',
                                       0x00, 0x02, 1,    1,   0,   2,   0,   2,   0x90, 0x01};  // 400 sectors
    std::copy(std::begin(bootSector), std::end(bootSector), volume.begin());
    volume[512 * 40] = 0xFF;
    volume[512 * 40 + 1] = 0xD8;
    MainWindow main(platform);
    main.Choose("E:\\");
    int readsAfterSummary = 0;
    platform.onCall = [&](const std::string& call) {
        if (call.rfind("ReadFile", 0) == 0 && !main.toolkit.messages.empty()) ++readsAfterSummary;
    };
    main.Click(3);
    platform.onCall = nullptr;
    EXPECT_EQ(main.Count(), 1);
    EXPECT_EQ(readsAfterSummary, 0);
    ASSERT_EQ(main.toolkit.messages.size(), 2u);
    EXPECT_EQ(main.toolkit.messages[0].title, "Scan Complete");
    EXPECT_EQ(main.toolkit.messages[1].text.rfind("Drive E:\\ ends at sector 100, before its file system does (at "
                                                  "sector 400)",
                                                  0),
              0u)
        << main.toolkit.messages[1].text;
    EXPECT_EQ(main.toolkit.messages[1].title, "Kelvara");
    EXPECT_FALSE(main.window.CommandRunning());
}

TEST(FrmMain, TheFamilyDecidesWhichScanRuns) {
    for (const DWORD id : {0u, 1u, 2u, 3u}) {
        FakePlatform platform;
        platform.platformId = id;
        platform.AddVolume('E', 60);
        MainWindow main(platform);
        main.Choose("E:\\");
        main.Click(3);
        // The 9x disk service (code 6) reads only on that family; NT asks the volume its length.
        const auto calls = platform.CallsNamed("DeviceIoControl");
        EXPECT_EQ(std::none_of(calls.begin(), calls.end(),
                               [](const std::string& call) { return call.rfind("DeviceIoControl(6,", 0) == 0; }),
                  id == 2)
            << id;
        EXPECT_EQ(main.toolkit.Texts(), std::vector<std::string>{"Kelvara's found 0 Files"});
    }
}

TEST(FrmMain, ACommandStartedDuringAScanDoesNothingButWindowsStillOpen) {
    FakePlatform platform;
    platform.AddVolume('E', 3000);
    MainWindow main(platform);
    main.Choose("E:\\");
    bool clicked = false;
    platform.onCall = [&](const std::string& call) {
        if (clicked || call.rfind("ReadFile", 0) != 0) return;
        clicked = true;
        main.window.Toolbar1_ButtonClick(3);   // a second scan
        main.window.Toolbar1_ButtonClick(13);  // a wipe
        main.window.Toolbar1_ButtonClick(5);   // options still open
    };
    main.Click(3);
    platform.onCall = nullptr;
    EXPECT_EQ(main.toolkit.Texts(), std::vector<std::string>{"Kelvara's found 0 Files"});
    EXPECT_EQ(main.toolkit.CountShown("Options"), 1);
}

// While a long command runs, the commands it would refuse and the drive combo look unavailable,
// and a press on them does nothing; Options, Help and About stay available.
TEST(FrmMain, TheLongCommandsAndTheDriveComboAreUnavailableWhileOneRuns) {
    FakePlatform platform;
    platform.AddVolume('E', 3000);
    platform.AddVolume('F', 3000);
    MainWindow main(platform);
    main.Choose("E:\\");
    std::vector<bool> during;
    platform.onCall = [&](const std::string& call) {
        if (!during.empty() || call.rfind("ReadFile", 0) != 0) return;
        for (const int control : std::vector<int>{ToolbarButton(3), ToolbarButton(11), ToolbarButton(13), btnSave, btnSaveAll, cbxDrives,
                                  ToolbarButton(5), ToolbarButton(7), ToolbarButton(9)})
            during.push_back(main.view.Enabled(control));
        main.view.DropDown(cbxDrives);
        main.view.Choose(cbxDrives, 2);
        // A card put in mid-command waits for the command's end to be listed.
        platform.AddVolume('D', 3000);
        main.window.DrivesChanged();
        during.push_back(main.view.Entries(cbxDrives).size() == 3);
    };
    main.Click(3);
    platform.onCall = nullptr;
    EXPECT_EQ(during, (std::vector<bool>{false, false, false, false, false, false, true, true, true, true}));
    EXPECT_EQ(main.view.Entries(cbxDrives), (std::vector<std::string>{"Select Drive", "D:\\", "E:\\", "F:\\"}));
    EXPECT_EQ(main.view.Selected(cbxDrives), 2);
    EXPECT_EQ(main.window.DriveString(), "E:\\");
    for (const int control : std::vector<int>{ToolbarButton(3), ToolbarButton(11), ToolbarButton(13), btnSave, btnSaveAll, cbxDrives})
        EXPECT_TRUE(main.view.Enabled(control)) << control;
}

// A card where every sector starts like a JPEG: tens of thousands of entries, listed as the
// scan finds them, the newest selected and none previewed. They keep the prefix their scan
// began with, even when Options changes it meanwhile or afterwards.
TEST(FrmMain, ThousandsOfEntriesAreListedWithTheirScansPrefix) {
    FakePlatform platform;
    constexpr int kSectors = 30000;
    auto& volume = platform.AddVolume('E', kSectors);
    for (int sector = 0; sector < kSectors; ++sector) {
        volume[std::size_t(sector) * 512] = 0xFF;
        volume[std::size_t(sector) * 512 + 1] = 0xD8;
    }
    MainWindow main(platform);
    main.Choose("E:\\");
    std::int64_t listedMidScan = -1;
    platform.onCall = [&](const std::string& call) {
        if (call.rfind("ReadFile", 0) != 0) return;
        Sleep(20);  // each run of 600 sectors outlasts the window's pause between two looks
        if (listedMidScan >= 0 || main.window.FoundPhotoTable.size() < 10000) return;
        listedMidScan = main.Count();
        main.window.Prefix = "Later";  // as Options would, while the scan runs
    };
    main.Click(3);
    platform.onCall = nullptr;
    EXPECT_GT(listedMidScan, 0) << "the list follows the scan";
    ASSERT_EQ(main.Count(), kSectors);
    EXPECT_EQ(main.Entry(0), "Image001.JPG");
    EXPECT_EQ(main.Entry(99), "Image100.JPG");
    EXPECT_EQ(main.Entry(kSectors - 1), "Image30000.JPG");
    EXPECT_EQ(main.Entry(kSectors), "");
    EXPECT_EQ(main.view.SelectedRow(lstFiles), kSectors - 1) << "the newest is selected, and so in sight";
    EXPECT_EQ(main.window.PreviewCount(), 0);
    EXPECT_EQ(main.toolkit.Texts(), std::vector<std::string>{"Kelvara's found 30000 Files"});

    main.window.Prefix = "Again";
    EXPECT_EQ(main.Entry(kSectors - 1), "Image30000.JPG");
    main.Click(3);
    EXPECT_EQ(main.Entry(0), "Again001.JPG");
}

// A slow card: closing the window mid-scan stops the scan at its next read; no message is left
// for nobody to read, and the window is at rest.
TEST(FrmMain, ClosingTheWindowMidScanEndsTheScan) {
    FakePlatform platform;
    platform.AddVolume('E', 20000);  // read in 50 runs of 400 sectors
    MainWindow main(platform);
    main.Choose("E:\\");
    int reads = 0;
    platform.onCall = [&](const std::string& call) {
        if (call.rfind("ReadFile", 0) != 0) return;
        if (++reads == 3) {
            EXPECT_TRUE(main.view.CloseBox());
        }
        Sleep(20);
    };
    main.Click(3);
    platform.onCall = nullptr;
    EXPECT_LT(reads, 6);
    EXPECT_FALSE(main.view.shown());
    EXPECT_FALSE(main.window.IsBusy());
    EXPECT_FALSE(main.window.CommandRunning());
    EXPECT_EQ(main.Caption(lblStatus), "Ready");
    EXPECT_TRUE(main.toolkit.messages.empty()) << main.toolkit.Texts().front();
}

// Closed while the destination dialog of Image Disk is up, the dialog goes with the window as a
// Cancel; closed while the image is written, the image stops after its run and the partial
// file stays, closed, as the command line leaves it after Ctrl-C.
TEST(FrmMain, ClosingTheWindowDuringImageDiskStopsItAndKeepsThePartialImage) {
    FakePlatform platform;
    platform.AddVolume('E', 20000);
    platform.folders.insert("C:\\");
    platform.folders.insert("C:\\Out");
    {
        MainWindow main(platform);
        main.Choose("E:\\");
        bool sawDialog = false;
        main.toolkit.WhileWaiting([&] {
            if (!main.window.DestinationDialog()) return false;
            sawDialog = main.toolkit.Shown("Select Destination Folder") != nullptr;
            main.view.CloseBox();
            return true;
        });
        main.Click(11);
        EXPECT_TRUE(sawDialog);
        EXPECT_EQ(main.toolkit.Shown("Select Destination Folder"), nullptr);
        EXPECT_EQ(main.window.Folder, "No");
        EXPECT_TRUE(main.toolkit.messages.empty());
        EXPECT_TRUE(platform.CallsNamed("ReadFile").empty());
    }

    MainWindow again(platform);
    again.Choose("E:\\");
    int reads = 0;
    platform.onCall = [&](const std::string& call) {
        if (call.rfind("ReadFile", 0) == 0 && ++reads == 3) again.view.CloseBox();
    };
    testing::DestinationAnswer answer(again, "C:\\Out");
    again.Click(11);
    platform.onCall = nullptr;
    EXPECT_EQ(again.toolkit.Texts(), std::vector<std::string>{"Make image at C:\\Out\\"});
    ASSERT_TRUE(platform.files.count("C:\\Out\\TOBRN.IMG.partial"));  // only a whole image is TOBRN.IMG
    const std::size_t kept = platform.files.at("C:\\Out\\TOBRN.IMG.partial").size();
    EXPECT_GT(kept, 0u);
    EXPECT_LT(kept, 20000u * 512);
    EXPECT_EQ(kept % 512, 0u);
    EXPECT_EQ(platform.OpenHandles(), 0);
    EXPECT_FALSE(again.window.CommandRunning());
}

TEST(FrmMain, EachWindowCommandOpensANewWindowAndSeparatorsDoNothing) {
    FakePlatform platform;
    MainWindow main(platform);
    main.Click(5);
    main.Click(5);
    main.Click(9);
    main.Click(9);
    main.Click(7);
    EXPECT_EQ(main.toolkit.CountShown("Options"), 2);
    EXPECT_EQ(main.toolkit.CountShown("About Kelvara"), 2);
    EXPECT_EQ(main.toolkit.CountShown("Help - Tobrin"), 1);
    // The two Options dialogs do not lie exactly over each other, and both belong to the main
    // window, which keeps them above it; About and Help belong to none.
    std::vector<FakeView*> options, others;
    for (FakeView* view : main.toolkit.views) {
        if (view->Text(0) == "Options") options.push_back(view);
        if (view->Text(0) == "About Kelvara" || view->Text(0) == "Help - Tobrin") others.push_back(view);
    }
    ASSERT_EQ(options.size(), 2u);
    EXPECT_NE(options[0]->Position(), options[1]->Position());
    for (const FakeView* dialog : options) EXPECT_EQ(dialog->owner(), &main.view);
    for (const FakeView* window : others) EXPECT_EQ(window->owner(), nullptr);
    for (int separator : {1, 2, 4, 6, 8, 10, 12}) main.window.Toolbar1_ButtonClick(separator);
    EXPECT_EQ(main.Caption(lblStatus), "Ready");
    EXPECT_EQ(main.toolkit.views.size(), 6u);

    // Closing the main window closes its Options dialogs; About and Help stay open.
    EXPECT_TRUE(main.view.CloseBox());
    EXPECT_EQ(main.toolkit.CountShown("Options"), 0);
    EXPECT_EQ(main.toolkit.CountShown("About Kelvara"), 2);
    EXPECT_EQ(main.toolkit.CountShown("Help - Tobrin"), 1);
}

}  // namespace
}  // namespace kelvara
