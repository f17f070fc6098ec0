// Found photos through the main window's core: the preview's steps, Save and Save All with the
// destination dialog, Image Disk and Disk Wipe from the toolbar, on the recording platform.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "tests/support/fake_platform.h"
#include "tests/support/photo_runs.h"
#include "tests/window/main_window.h"
#include "window/command_messages.h"

namespace kelvara {
namespace {

using namespace ids::frm_main;
using testing::DestinationAnswer;
using testing::FakePlatform;
using testing::MainWindow;

using Bytes = std::vector<std::uint8_t>;

// Puts a photo-like run of `length` bytes at `sector`.
void PhotoAt(std::vector<std::uint8_t>& volume, int sector, std::size_t length, bool gif = false) {
    const auto bytes = testing::MakePhotoRun(length, sector, gif);
    std::copy(bytes.begin(), bytes.end(), volume.begin() + static_cast<std::ptrdiff_t>(sector) * 512);
}

// A card of three photos: a JPEG of 20 sectors less 98 bytes at 10, a GIF of 10 sectors and 2
// bytes at 40 and a JPEG of 514 bytes at 60, 100 sectors.
void ThreePhotos(std::vector<std::uint8_t>& volume) {
    PhotoAt(volume, 10, 20 * 512 - 98);
    PhotoAt(volume, 40, 10 * 512 + 2, true);
    PhotoAt(volume, 60, 514);
}

class PhotosInTheWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ThreePhotos(platform.AddVolume('E', 100));
        platform.folders.insert("C:\\");
        platform.folders.insert("C:\\Temp");
        platform.folders.insert("C:\\Out");
        main = std::make_unique<MainWindow>(platform);
        main->Choose("E:\\");
        main->Click(3);
        ASSERT_EQ(main->Count(), 3);
        main->toolkit.messages.clear();
    }
    FakePlatform platform;
    std::unique_ptr<MainWindow> main;
};

TEST_F(PhotosInTheWindow, AClickPreviewsThePhotoFromTwoFreshFilesAndTheBrowserShowsThePage) {
    main->ChooseEntry(1);
    EXPECT_EQ(main->window.PreviewCount(), 1);
    ASSERT_TRUE(platform.files.count("C:\\Temp\\TB.jpg"));
    ASSERT_TRUE(platform.files.count("C:\\Temp\\TB001.htm"));
    const Bytes& page = platform.files["C:\\Temp\\TB001.htm"];
    EXPECT_EQ(std::string(page.begin(), page.end()),
              "<body topmargin=\"0\" leftmargin=\"0\"><img border=\"0\" src=\"C:\\Temp\\TB.jpg\" width=\"256\" "
              "height=\"256\"></body>");
    EXPECT_EQ(main->view.Navigations(WB2), std::vector<std::string>{"C:\\Temp\\TB001.htm"});
    EXPECT_TRUE(main->view.Visible(picBox));
    EXPECT_FALSE(main->view.Visible(Image1));
    EXPECT_EQ(main->Caption(lblStatus), "Ready");
    EXPECT_GT(main->view.repaints, 0) << "\"Loading\" is shown while the photo is read";

    // A shorter photo after a longer one leaves no tail of the longer.
    const std::size_t gif = platform.files["C:\\Temp\\TB.jpg"].size();
    main->ChooseEntry(2);
    EXPECT_LT(platform.files["C:\\Temp\\TB.jpg"].size(), gif);
    EXPECT_EQ(platform.files["C:\\Temp\\TB.jpg"].size(), 514u);
    // Each choice previews, the entry already chosen too (a retry).
    main->ChooseEntry(2);
    EXPECT_EQ(main->window.PreviewCount(), 3);
    EXPECT_EQ(main->view.Navigations(WB2).size(), 3u);

    // Sectors the card cannot give are zeros in the photo shown, and said after it is shown.
    platform.drives['E'].badSectors = {12, 13, 15};
    main->ChooseEntry(0);
    EXPECT_EQ(main->window.PreviewCount(), 4);
    EXPECT_EQ(platform.files["C:\\Temp\\TB.jpg"].size(), 20u * 512 - 98);
    ASSERT_EQ(main->toolkit.messages.size(), 1u);
    EXPECT_EQ(main->toolkit.messages[0].text, "Sectors 12-13 could not be read.\nSector 15 could not be read.");
    EXPECT_EQ(main->toolkit.messages[0].icon, Message::Icon::Warning);
    EXPECT_EQ(main->Caption(lblStatus), "Ready");
    main->toolkit.messages.clear();
    main->ChooseEntry(2);  // a photo clear of them says nothing
    EXPECT_TRUE(main->toolkit.messages.empty());

    // The pane stays on the browser, even when the guide picture changes later.
    main->window.ShowGuidePicture(3);
    EXPECT_FALSE(main->view.Visible(Image1));
}

// Where the browser cannot show pages (Wine has no HTML engine), the pane draws the photo the
// page would show, from the same files.
TEST(FrmMainPhotos, WithoutABrowserThePaneDrawsThePreviewPicture) {
    FakePlatform platform;
    ThreePhotos(platform.AddVolume('E', 100));
    platform.folders.insert("C:\\Temp");
    testing::FakeToolkit toolkit;
    toolkit.browserRenders = false;
    FrmMain window(platform, toolkit);
    window.Show();
    testing::FakeView& view = testing::ViewOf(window);
    view.Choose(cbxDrives, 1);
    view.Click(ToolbarButton(3));
    view.Choose(lstFiles, 0);
    EXPECT_EQ(view.PictureFiles(WB2), std::vector<std::string>{"C:\\Temp\\TB.jpg"});
    EXPECT_TRUE(view.Navigations(WB2).empty());
    EXPECT_TRUE(platform.files.count("C:\\Temp\\TB001.htm"));
    EXPECT_TRUE(view.Visible(picBox));
    EXPECT_EQ(window.PreviewCount(), 1);
}

TEST_F(PhotosInTheWindow, SaveAllWritesEveryPhotoIntoTheChosenFolder) {
    // While the destination is chosen, the dialog belongs to the main window (so it stays above
    // it), and the commands that would be refused meanwhile, and the drive combo, are unavailable.
    bool ownedAndUnavailable = false;
    DestinationAnswer answer(*main, "C:\\Out", [&] {
        testing::FakeView* dialog = main->toolkit.Shown("Select Destination Folder");
        ownedAndUnavailable = dialog && dialog->owner() == &main->view && !main->view.Enabled(ToolbarButton(3)) &&
                              !main->view.Enabled(cbxDrives) && !main->view.Enabled(btnSave) &&
                              main->view.Enabled(ToolbarButton(5));
    });
    std::string during;
    platform.onCall = [&](const std::string& call) {
        if (during.empty() && call.rfind("WriteFile", 0) == 0) during = main->Caption(lblStatus);
    };
    main->view.Click(btnSaveAll);
    platform.onCall = nullptr;
    EXPECT_EQ(during, "Saveing");
    EXPECT_TRUE(ownedAndUnavailable);
    EXPECT_EQ(answer.answered(), 1);
    EXPECT_EQ(main->window.Folder, "C:\\Out");
    EXPECT_FALSE(main->window.ffdone);
    EXPECT_EQ(platform.files["C:\\Out\\Image001.JPG"].size(), 20u * 512 - 98);
    EXPECT_EQ(platform.files["C:\\Out\\Image002.GIF"].size(), 10u * 512 + 2);
    EXPECT_EQ(platform.files["C:\\Out\\Image003.JPG"].size(), 514u);
    EXPECT_TRUE(main->toolkit.messages.empty());
    EXPECT_EQ(main->Caption(lblStatus), "Ready");
    EXPECT_TRUE(main->view.Enabled(btnSave));
}

TEST_F(PhotosInTheWindow, SaveWritesTheChosenPhotoAndCancelOrNothingChosenWritesNothing) {
    {
        DestinationAnswer cancel(*main, "");
        main->view.Click(btnSaveAll);
        EXPECT_EQ(cancel.answered(), 1);
    }
    EXPECT_EQ(main->window.Folder, "No");
    EXPECT_FALSE(main->window.ffdone);
    EXPECT_TRUE(platform.CallsNamed("WriteFile").empty());

    DestinationAnswer answer(*main, "C:\\Out");
    main->ChooseEntry(1);
    main->view.Click(btnSave);
    EXPECT_EQ(answer.answered(), 1);
    EXPECT_TRUE(platform.files.count("C:\\Out\\Image002.GIF"));
    EXPECT_FALSE(platform.files.count("C:\\Out\\Image001.JPG"));

    // A new prefix names the list at once, as Save names the file.
    main->Click(5);
    testing::FakeView* options = nullptr;
    for (testing::FakeView* view : main->toolkit.views)
        if (view->Text(0) == "Options" && view->shown()) options = view;
    ASSERT_NE(options, nullptr);
    options->Type(ids::frm_options::txtPreFix, "Trip");
    options->Click(ids::frm_options::cmdOK);
    EXPECT_EQ(main->Entry(1), "Trip002.GIF");
    main->view.Click(btnSave);
    EXPECT_TRUE(platform.files.count("C:\\Out\\Trip002.GIF"));

    main->view.Choose(cbxDrives, 0);
    main->Click(3);  // refused: the list keeps its entries
    main->window.FoundPhotoTable.clear();
    main->window.AddFoundEntry("");
    main->window.FlushControls();  // an empty list, as a scan that found nothing leaves it
    main->view.Click(btnSave);
    main->view.Click(btnSaveAll);
    EXPECT_EQ(answer.answered(), 2) << "no dialog for nothing to save";
}

TEST_F(PhotosInTheWindow, ImageDiskAsksWithTheFolderAndCopiesTheCountedSectors) {
    {
        main->toolkit.answer = false;
        DestinationAnswer root(*main, "C:\\");
        main->Click(11);
        ASSERT_EQ(main->toolkit.messages.size(), 1u);
        EXPECT_EQ(main->toolkit.messages[0].text, "Make image at C:\\\\");
        EXPECT_EQ(main->toolkit.messages[0].title, "Make Image");
        EXPECT_EQ(main->toolkit.messages[0].buttons, Message::Buttons::YesNo);
        EXPECT_FALSE(platform.files.count("C:\\\\TOBRN.IMG"));
        EXPECT_FALSE(platform.files.count("C:\\TOBRN.IMG"));
    }
    main->toolkit.answer = true;
    DestinationAnswer answer(*main, "C:\\Out");
    main->Click(11);
    EXPECT_EQ(main->toolkit.messages.back().text, "Make image at C:\\Out\\");
    ASSERT_TRUE(platform.files.count("C:\\Out\\TOBRN.IMG"));
    EXPECT_EQ(platform.files["C:\\Out\\TOBRN.IMG"], *platform.drives['E'].volume);
    EXPECT_EQ(main->view.Progress(Progress), std::pair(100, 100));
}

TEST(FrmMainPhotos, AClickDuringAScanDoesNothingAndAFailedPreviewWritesNothing) {
    FakePlatform platform;
    auto& volume = platform.AddVolume('E', 2000);
    volume[0] = 0xFF;
    volume[1] = 0xD8;
    MainWindow main(platform);
    main.Choose("E:\\");
    platform.onCall = [&](const std::string& call) {
        if (call.rfind("ReadFile", 0) == 0 && main.Count() == 1) main.ChooseEntry(0);
    };
    main.window.Yield();
    main.Click(3);
    platform.onCall = nullptr;
    EXPECT_EQ(main.window.PreviewCount(), 0);
    EXPECT_TRUE(platform.CallsNamed("GetTempPathA").empty());
    EXPECT_FALSE(main.view.Visible(picBox));

    // After the scan a click previews; a pulled card says so and leaves the pane alone.
    platform.drives['E'].volume.reset();
    main.ChooseEntry(0);
    EXPECT_EQ(main.window.PreviewCount(), 0);
    EXPECT_FALSE(main.view.Visible(picBox));
    EXPECT_EQ(main.Caption(lblStatus), "Ready");
    ASSERT_EQ(main.toolkit.messages.size(), 2u);
    EXPECT_EQ(main.toolkit.messages[0].icon, Message::Icon::None);  // the summary is news
    EXPECT_NE(main.toolkit.messages[1].text.find("not ready"), std::string::npos) << main.toolkit.messages[1].text;
    EXPECT_EQ(main.toolkit.messages[1].icon, Message::Icon::Warning);  // this went wrong

    // With the card back but no usable private folder (someone planted a link at its place),
    // the preview says so and writes nothing, not in the folder the program runs in either.
    platform.AddVolume('E', 2000)[0] = 0xFF;
    platform.tempPath.clear();
    main.ChooseEntry(0);
    EXPECT_TRUE(platform.files.empty());
    EXPECT_EQ(main.window.PreviewCount(), 0);
    ASSERT_EQ(main.toolkit.messages.size(), 3u);
    EXPECT_NE(main.toolkit.messages[2].text.find("no private folder"), std::string::npos) << main.toolkit.messages[2].text;
    EXPECT_EQ(main.Caption(lblStatus), "Ready");
}

// A click on another entry while a long photo is read: that preview gives way, and the entry
// chosen last is shown.
TEST(FrmMainPhotos, AClickDuringAPreviewShowsTheEntryChosenLast) {
    FakePlatform platform;
    auto& volume = platform.AddVolume('E', 40000);
    PhotoAt(volume, 0, 30000 * 512);  // read in pieces
    PhotoAt(volume, 30000, 10000 * 512);
    platform.folders.insert("C:\\Temp");
    MainWindow main(platform);
    main.Choose("E:\\");
    main.Click(3);
    ASSERT_EQ(main.Count(), 2);
    int reads = 0;
    platform.onCall = [&](const std::string& call) {
        if (call.rfind("ReadFile", 0) == 0 && ++reads == 2) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));  // the next yield runs events
            main.toolkit.WhileWaiting([&] {
                main.ChooseEntry(1);
                return true;
            });
        }
    };
    main.ChooseEntry(0);
    platform.onCall = nullptr;
    EXPECT_EQ(main.window.PreviewCount(), 1);
    EXPECT_EQ(platform.files["C:\\Temp\\TB.jpg"].size(), 10000u * 512);
    EXPECT_EQ(main.Caption(lblStatus), "Ready");
}

// On a slow destination every photo takes a while: the bar counts the photos of Save All, the
// bytes of the one photo of Save, as the window shows them, and is back at 0 when it is done.
TEST(FrmMainPhotos, SaveAllCountsItsPhotosOnTheProgressBarAndSaveTheBytes) {
    FakePlatform platform;
    auto& volume = platform.AddVolume('E', 36000);
    constexpr int kPhotos = 8;
    const auto photo = [&](int sector, int endSector) {
        PhotoAt(volume, sector, static_cast<std::size_t>(endSector - sector) * 512);
    };
    for (int i = 0; i + 1 < kPhotos; ++i) photo(100 + 300 * i, 140 + 300 * i);  // 20 KiB each
    photo(2500, 34500);  // 16,000 KiB, read and written in many pieces
    platform.folders.insert("C:\\");
    platform.folders.insert("C:\\Out");
    MainWindow main(platform);
    main.Choose("E:\\");
    main.Click(3);
    ASSERT_EQ(main.Count(), kPhotos);

    auto& shown = main.view.progressShown;
    shown.clear();
    platform.onCall = [](const std::string& call) {
        if (call.rfind("WriteFile", 0) == 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    };
    DestinationAnswer answer(main, "C:\\Out");
    main.view.Click(btnSaveAll);
    ASSERT_EQ(answer.answered(), 1);
    ASSERT_TRUE(platform.files.count("C:\\Out\\Image008.JPG"));
    ASSERT_GE(shown.size(), 3u);
    for (std::size_t i = 0; i + 1 < shown.size(); ++i) {
        EXPECT_EQ(shown[i].first, kPhotos) << i;
        if (i > 0) {
            EXPECT_GT(shown[i].second, shown[i - 1].second) << i;
        }
    }
    EXPECT_EQ(shown.back().second, 0);

    shown.clear();
    main.ChooseEntry(kPhotos - 1);
    main.view.Click(btnSave);
    platform.onCall = nullptr;
    ASSERT_EQ(answer.answered(), 2);
    const auto bytes = static_cast<int>(platform.files.at("C:\\Out\\Image008.JPG").size());
    EXPECT_EQ(bytes, 32000 * 512);
    ASSERT_GE(shown.size(), 2u);
    for (std::size_t i = 0; i + 1 < shown.size(); ++i) {
        EXPECT_EQ(shown[i].first, bytes) << i;
        EXPECT_GT(shown[i].second, 0) << i;
    }
    EXPECT_EQ(shown.back().second, 0);
    // Save All wrote it already: the same bytes are that file.
    EXPECT_EQ(main.toolkit.Texts(), (std::vector<std::string>{
                                        "Kelvara's found 8 Files",
                                        "1 photo was in the folder already, byte for byte, and was not written again."}));
    EXPECT_EQ(main.Caption(lblStatus), "Ready");
}

TEST(FrmMainPhotos, DiskWipeFromTheToolbarEmptiesTheRootAndFillsTheCard) {
    FakePlatform platform;
    platform.AddVolume('E', 40);
    platform.folders.insert("E:\\");
    platform.folders.insert("E:\\DCIM");
    platform.files["E:\\notes.txt"] = {1, 2, 3};
    platform.files["E:\\DCIM\\IMG_0001.JPG"] = {0xFF, 0xD8};
    MainWindow main(platform);
    main.Choose("E:\\");
    main.toolkit.answer = false;
    main.Click(13);
    ASSERT_EQ(main.toolkit.messages.size(), 1u);
    EXPECT_EQ(main.toolkit.messages[0].title, "Confrim");
    EXPECT_EQ(main.toolkit.messages[0].text,
              "Disk wipe will completely erase all data from the disk makeing any recovery attempt impossible."
              "         Are you sure you want to wipe this disk?");
    EXPECT_EQ(main.toolkit.messages[0].buttons, Message::Buttons::YesNo);
    EXPECT_TRUE(platform.files.count("E:\\notes.txt"));
    EXPECT_EQ(main.Caption(lblStatus), "Ready");

    main.toolkit.answer = true;
    std::string during;
    platform.onCall = [&](const std::string& call) {
        if (during.empty() && call.rfind("WriteFile", 0) == 0) during = main.Caption(lblStatus);
    };
    main.Click(13);
    platform.onCall = nullptr;
    EXPECT_EQ(during, "Wipeing");
    EXPECT_EQ(main.toolkit.messages.size(), 2u);  // the question only: a wipe that worked says nothing more
    EXPECT_FALSE(platform.files.count("E:\\notes.txt"));
    EXPECT_TRUE(platform.files.count("E:\\DCIM\\IMG_0001.JPG"));
    ASSERT_TRUE(platform.files.count("E:\\Wipe.img"));
    EXPECT_EQ(platform.files["E:\\Wipe.img"].size(), 40u * 513);
    EXPECT_EQ(main.view.Progress(Progress).second, 40);
    EXPECT_EQ(main.Caption(lblStatus), "Ready");
}

// What a wipe could not do is told once, at its end; a card whose root cannot be listed (an
// attached image, an unmounted card) is told of before the question, and left alone.
TEST(FrmMainPhotos, DiskWipeTellsWhatItCouldNotDo) {
    FakePlatform platform;
    platform.AddVolume('E', 100);
    platform.AddVolume('G', 100);
    platform.folders.insert("E:\\");
    platform.files["E:\\NOTES.TXT"] = {1};
    platform.files["E:\\A.TXT"] = {2};
    MainWindow main(platform);
    main.Choose("G:\\");
    main.Click(13);
    ASSERT_EQ(main.toolkit.messages.size(), 1u);
    const std::string unmounted = main.toolkit.messages[0].text;
    EXPECT_EQ(unmounted.rfind("Drive G:\\ cannot be wiped: its root folder cannot be read. The system cannot find the "
                              "path specified.",
                              0),
              0u)
        << unmounted;
    EXPECT_NE(unmounted.find("it needs the card mounted"), std::string::npos) << unmounted;
    EXPECT_EQ(main.toolkit.messages[0].title, "Disk Wipe");
    EXPECT_TRUE(platform.CallsNamed("DeleteFileA").empty());
    EXPECT_TRUE(platform.CallsNamed("WriteFile").empty());

    main.Choose("E:\\");
    platform.readOnly = true;  // a write-protected card
    main.Click(13);
    ASSERT_EQ(main.toolkit.messages.size(), 3u);  // the question, then what fell short
    const std::string told = main.toolkit.messages[2].text;
    EXPECT_EQ(told.rfind("The wipe of E:\\ is not complete.", 0), 0u) << told;
    EXPECT_NE(told.find("2 files in the root folder could not be deleted (A.TXT: The media is write protected.)"),
              std::string::npos) << told;
    EXPECT_NE(told.find("Wipe.img could not be created"), std::string::npos) << told;
    EXPECT_EQ(main.toolkit.messages[2].title, "Disk Wipe");

    // The medium says 40000 bytes are free but refuses more after 10000, without saying it is full.
    platform.readOnly = false;
    platform.diskSpace = 10000;
    platform.drives['E'].freeClusters = 40000 / 512;
    main.Click(13);
    ASSERT_EQ(main.toolkit.messages.size(), 5u);
    EXPECT_NE(main.toolkit.messages[4].text.find("only 10000 bytes of the 39936 bytes free were overwritten"),
              std::string::npos) << main.toolkit.messages[4].text;
    EXPECT_EQ(main.Caption(lblStatus), "Ready");
}

// What the window tells of the reports: a save whose photos came back only in part is a warning
// naming them; entries that were never photos of their own are news; a scan's unreadable sectors
// are told after it.
TEST(CommandMessages, SavesAndScansAreToldInTheWindowsWords) {
    SaveReport save;
    save.saved = 6;
    save.incomplete = 2;
    save.firstIncomplete = {"Image004.JPG", "Image006.JPG"};
    save.inside = 1;
    save.notPhotos = 1;
    std::vector<Message> told = SaveEndMessages(save);
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].icon, Message::Icon::Warning);
    EXPECT_EQ(told[0].title, "Kelvara");
    EXPECT_EQ(told[0].text,
              "2 photos are incomplete: their data break off where the card holds something else (the rest was written "
              "over, or lies elsewhere on the card). Each was saved as far as it holds together: Image004.JPG, "
              "Image006.JPG.\n\n1 entry lies inside other photos (a thumbnail or preview a photo carries, or the data "
              "of a clip) and was not saved on its own.\n\n1 entry is not a photo: nothing of a picture follows its "
              "signature, so it was not saved.");

    save.incomplete = 0;
    save.firstIncomplete.clear();
    save.reassembled = 1;
    save.unreadable.Add(103, 1);
    save.zeroFilled = {{"Image001.JPG", save.unreadable}};
    told = SaveEndMessages(save);
    ASSERT_EQ(told.size(), 2u);
    EXPECT_EQ(told[0].icon, Message::Icon::None);
    EXPECT_EQ(told[0].text.rfind("1 photo was put back together from pieces found apart on the card, each checked to its end.", 0), 0u)
        << told[0].text;
    EXPECT_EQ(told[1].text, "Sector 103 could not be read; it is zeros in Image001.JPG.");
    EXPECT_EQ(told[1].icon, Message::Icon::Warning);

    ScanReport scan;
    scan.found = 3;
    EXPECT_FALSE(ScanUnreadableMessage(scan));
    scan.unreadable.Add(103, 1);
    scan.unreadable.Add(1500, 3);
    const auto unreadable = ScanUnreadableMessage(scan);
    ASSERT_TRUE(unreadable);
    EXPECT_EQ(unreadable->text, "Sector 103 could not be read.\nSectors 1500-1502 could not be read.\nKelvara read them "
                                "as zeros: a photo that starts there is not listed.");
    const std::vector<Message> ended = ScanEndMessages(scan);
    ASSERT_EQ(ended.size(), 1u);
    EXPECT_EQ(ended[0].text, "Kelvara's found 3 Files");
    EXPECT_EQ(ended[0].title, "Scan Complete");
    EXPECT_EQ(ended[0].icon, Message::Icon::None);
    scan.end = ScanReport::End::Stopped;
    scan.stopSector = 400;
    const std::vector<Message> stopped = ScanEndMessages(scan);
    ASSERT_EQ(stopped.size(), 2u);
    EXPECT_EQ(stopped[0].text, "The scan was stopped at sector 400; the photos found before it are listed.");
    EXPECT_EQ(stopped[0].title, "Kelvara");
    EXPECT_EQ(stopped[0].icon, Message::Icon::Warning);
}

}  // namespace
}  // namespace kelvara
