// Faults met through the main window, with a real card image behind drive D: the card pulled or
// cut short while a scan runs, while the destination dialog of Save All is up and at the
// image's question, and the destination folder removed while its dialog is open. The window
// stays at rest afterwards, shows what happened, and keeps every photo it had found.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/posix/posix_platform.h"
#include "tests/support/fat_image.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_photos.h"
#include "tests/window/main_window.h"

namespace kelvara {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;
using namespace ids::frm_main;
using testing::DestinationAnswer;

constexpr std::int32_t kPhotoSectors[] = {700, 40000, 80000};

// A FAT32 card with three photos: in the scan's first read (512 KiB, which here ends before the
// data area; the scan reads raw sectors, so where the file system keeps its tables is no matter),
// near a third of the card and past the middle.
class WindowFaults : public ::testing::Test {
protected:
    void SetUp() override {
        image = dir.file("card.img");
        testing::MakeFatImage(image, 32, 140000);
        for (int i = 0; i < 3; ++i) {
            photos.push_back(testing::MakeJpeg(160 + 40 * i, 120, 10 + i));
            testing::WriteBytesAt(image, std::int64_t{kPhotoSectors[i]} * 512, photos.back());
        }
        fs::copy_file(image, dir.file("kept.img"));
        fs::create_directory(Home("Out"));
        PosixPlatform::Options options;
        options.images.push_back({image});
        options.home = dir.path();
        platform = std::make_unique<PosixPlatform>(options);
        main = std::make_unique<testing::MainWindow>(*platform);
        main->Choose("D:\\");
        total = std::stoi(main->Caption(lblSectors));
        ASSERT_GT(total, 130000);
    }
    // Scans with `fault` done the first time the window lets events run, during the first run.
    void ScanWith(const std::function<void()>& fault) {
        // The window lets events run at most every 15 ms; make sure the first yield is one.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (fault)
            main->toolkit.WhileWaiting([fault] {
                fault();
                return true;
            });
        main->Click(3);
    }
    std::vector<std::string> Texts() const { return main->toolkit.Texts(); }
    bool StartsWith(const std::string& text, const std::string& start) { return text.rfind(start, 0) == 0; }
    void PutCardBack() {
        fs::remove(image);
        fs::copy_file(dir.file("kept.img"), image);
    }
    std::string Home(const std::string& name) const { return dir.file(name); }
    void ExpectAtRest() {
        EXPECT_FALSE(main->window.IsBusy());
        EXPECT_FALSE(main->window.CommandRunning());
        EXPECT_EQ(main->Caption(lblStatus), "Ready");
    }

    testing::TempDir dir;
    std::string image;
    std::vector<Bytes> photos;
    std::unique_ptr<PosixPlatform> platform;
    std::unique_ptr<testing::MainWindow> main;
    int total = 0;
};

TEST_F(WindowFaults, ACardPulledMidScanLeavesTheListAndTheWindowUsable) {
    ScanWith([&] { fs::remove(image); });
    ASSERT_EQ(main->Count(), 1);
    EXPECT_EQ(main->Entry(0), "Image001.JPG");
    ASSERT_EQ(Texts().size(), 2u);
    EXPECT_EQ(Texts()[0], "Kelvara's found 1 Files");
    EXPECT_TRUE(StartsWith(Texts()[1], "Drive D:\\ holds nothing from sector ")) << Texts()[1];
    EXPECT_EQ(main->view.Progress(Progress).second, 0);
    ExpectAtRest();

    // The photo cannot be shown without the card, and the pane says nothing false.
    main->ChooseEntry(0);
    EXPECT_EQ(main->window.PreviewCount(), 0);
    EXPECT_FALSE(main->view.Visible(picBox));
    ASSERT_EQ(Texts().size(), 3u);
    EXPECT_TRUE(StartsWith(Texts()[2], "The photo cannot be shown.")) << Texts()[2];

    // With the card back, the photo found before the pull is saved whole.
    PutCardBack();
    DestinationAnswer answer(*main, "C:\\Out");
    main->view.Click(btnSaveAll);
    EXPECT_EQ(testing::ReadFileBytes(Home("Out/Image001.JPG")), photos[0]);
    EXPECT_EQ(Texts().size(), 3u);
    ExpectAtRest();
}

TEST_F(WindowFaults, ACardCutShortMidScanIsToldAndItsPhotosAreSavedWhole) {
    ScanWith([&] { fs::resize_file(image, std::uint64_t{60000} * 512); });
    ASSERT_EQ(main->Count(), 2);
    EXPECT_EQ(main->window.FoundPhotoTable[1].EndSector, 60000);
    ASSERT_EQ(Texts().size(), 2u);
    EXPECT_EQ(Texts()[0], "Kelvara's found 2 Files");
    EXPECT_TRUE(StartsWith(Texts()[1], "Drive D:\\ holds nothing from sector 60000 on")) << Texts()[1];
    ExpectAtRest();

    DestinationAnswer answer(*main, "C:\\Out");
    main->view.Click(btnSaveAll);
    EXPECT_EQ(Texts().size(), 2u);
    EXPECT_EQ(testing::ReadFileBytes(Home("Out/Image001.JPG")), photos[0]);
    EXPECT_EQ(testing::ReadFileBytes(Home("Out/Image002.JPG")), photos[1]);
}

TEST_F(WindowFaults, SaveAllAndImageDiskWithTheCardCutShortUnderThemSayHowFarTheyGot) {
    ScanWith({});
    ASSERT_EQ(main->Count(), 3);
    main->toolkit.messages.clear();
    {
        // Cut short while the destination dialog is up, four sectors into the third photo.
        DestinationAnswer answer(*main, "C:\\Out", [&] { fs::resize_file(image, std::uint64_t{80004} * 512); });
        main->view.Click(btnSaveAll);
    }
    ASSERT_EQ(Texts().size(), 1u);
    EXPECT_EQ(Texts()[0],
              "Saved 2 of 3 photos; 1 could not be saved.\n\nImage003.JPG could not be read: Drive D:\\ holds "
              "nothing from sector 80004 on, inside the photo. The card may have been taken out or changed.");
    EXPECT_EQ(testing::ReadFileBytes(Home("Out/Image001.JPG")), photos[0]);
    EXPECT_EQ(testing::ReadFileBytes(Home("Out/Image002.JPG")), photos[1]);
    EXPECT_FALSE(fs::exists(Home("Out/Image003.JPG")));
    ExpectAtRest();

    // Cut shorter still as the image's question is answered.
    main->toolkit.messages.clear();
    main->toolkit.onMessage = [&, cut = false](const Message&) mutable {
        if (!cut) fs::resize_file(image, std::uint64_t{30000} * 512);
        cut = true;
        return true;
    };
    {
        DestinationAnswer answer(*main, "C:\\Out");
        main->Click(11);
    }
    main->toolkit.onMessage = nullptr;
    ASSERT_EQ(Texts().size(), 2u);
    EXPECT_EQ(Texts()[0], "Make image at C:\\Out\\");
    EXPECT_NE(Texts()[1].find("Drive D:\\ holds nothing from sector 30000 on"), std::string::npos) << Texts()[1];
    EXPECT_NE(Texts()[1].find("is incomplete: it holds 30000 of " + std::to_string(total) + " sectors."),
              std::string::npos)
        << Texts()[1];
    EXPECT_EQ(fs::file_size(Home("Out/TOBRN.IMG.partial")), std::uintmax_t{30000} * 512);
    EXPECT_EQ(main->view.Progress(Progress).second, 30000);
    ExpectAtRest();
}

TEST_F(WindowFaults, ADestinationRemovedWhileItsDialogIsOpenIsToldAndNothingIsWrittenElsewhere) {
    ScanWith({});
    main->toolkit.messages.clear();
    fs::create_directory(Home("Gone"));
    {
        DestinationAnswer answer(*main, "C:\\Gone", [&] { fs::remove(Home("Gone")); });
        main->view.Click(btnSaveAll);
    }
    ASSERT_EQ(Texts().size(), 1u);
    EXPECT_EQ(Texts()[0], "The folder C:\\Gone cannot be opened: The system cannot find the file specified.");
    EXPECT_FALSE(fs::exists(Home("Gone")));
    {
        fs::create_directory(Home("Gone"));
        DestinationAnswer answer(*main, "C:\\Gone", [&] { fs::remove(Home("Gone")); });
        main->Click(11);
    }
    ASSERT_EQ(Texts().size(), 3u);
    EXPECT_EQ(Texts()[1], "Make image at C:\\Gone\\");
    EXPECT_TRUE(StartsWith(Texts()[2], "The folder C:\\Gone cannot be opened: The system cannot find the file specified."))
        << Texts()[2];
    EXPECT_FALSE(fs::exists(Home("Gone")));
    ExpectAtRest();

    // The next Save All, into a folder that is there, saves everything.
    DestinationAnswer answer(*main, "C:\\Out");
    main->view.Click(btnSaveAll);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(testing::ReadFileBytes(Home("Out/Image00" + std::to_string(i + 1) + ".JPG")), photos[i]);
}

}  // namespace
}  // namespace kelvara
