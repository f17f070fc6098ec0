// The main window's core on real card images made with mkfs.vfat and mcopy, attached as drive
// D: of the POSIX platform: the scans of both families, the preview files, Save and Save All,
// Image Disk and Disk Wipe, as the command line does them on the same card.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "formats/format_walkers.h"
#include "photos/preview_files.h"
#include "platform/posix/posix_platform.h"
#include "tests/support/fat_image.h"
#include "tests/support/format_files.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_card.h"
#include "tests/window/main_window.h"

namespace kelvara {
namespace {

using namespace ids::frm_main;
using testing::Bytes;
using testing::DestinationAnswer;
using testing::MainWindow;
using testing::ViewOf;

class CardInTheWindow : public ::testing::Test {
protected:
    void SetUp() override {
        card = testing::MakePhotoCard(dir.file("card.img"), 6);
        PosixPlatform::Options options;
        options.images.push_back({card.image});
        options.home = dir.path();
        platform = std::make_unique<PosixPlatform>(options);
        main = std::make_unique<MainWindow>(*platform);
        main->Choose("D:\\");
        main->Click(3);
        ASSERT_EQ(main->Count(), 6);
        main->toolkit.messages.clear();
    }
    std::string Home(const std::string& name) const { return dir.file(name); }

    testing::TempDir dir;
    testing::TestCard card;
    std::unique_ptr<PosixPlatform> platform;
    std::unique_ptr<MainWindow> main;
};

TEST_F(CardInTheWindow, AClickPreviewsThePhotoFromTwoFreshFiles) {
    const std::string temp = PreviewTempFolder(*platform);
    ASSERT_FALSE(temp.empty());
    main->ChooseEntry(2);  // a JPEG with a thumbnail inside, the longest
    EXPECT_EQ(main->window.PreviewCount(), 1);
    EXPECT_EQ(testing::ReadFileBytes(temp + "TB.jpg"), card.photos[2].bytes);
    const Bytes page = testing::ReadFileBytes(temp + "TB001.htm");
    EXPECT_EQ(std::string(page.begin(), page.end()),
              "<body topmargin=\"0\" leftmargin=\"0\"><img border=\"0\" src=\"" + temp +
                  "TB.jpg\" width=\"256\" height=\"256\"></body>");
    EXPECT_EQ(main->view.Navigations(WB2), std::vector<std::string>{temp + "TB001.htm"});

    // A shorter photo after a longer one leaves no tail of the longer.
    main->ChooseEntry(0);
    EXPECT_EQ(testing::ReadFileBytes(temp + "TB.jpg"), card.photos[0].bytes);
}

TEST_F(CardInTheWindow, SaveAllWritesEveryPhotoAsItWasOnTheCard) {
    std::filesystem::create_directory(Home("Out"));
    DestinationAnswer answer(*main, "C:\\Out");
    main->view.Click(btnSaveAll);
    EXPECT_EQ(answer.answered(), 1);
    for (std::size_t i = 0; i < card.photos.size(); ++i) {
        const std::string name = "Image00" + std::to_string(i + 1) + (card.photos[i].gif ? ".GIF" : ".JPG");
        EXPECT_EQ(testing::ReadFileBytes(Home("Out/" + name)), card.photos[i].bytes) << name;
    }
    EXPECT_TRUE(main->toolkit.messages.empty());
    EXPECT_EQ(main->Caption(lblStatus), "Ready");
}

// The list's tooltip shows where a photo was on the card; Save All keeps the seed's names unless
// Options was ticked, and then saves under the card's folders and names.
TEST_F(CardInTheWindow, TheCardsOwnNamesShowInTooltipsAndAreSavedWhenAskedFor) {
    const std::string tip = main->view.EntryTooltip(lstFiles, 1);
    EXPECT_EQ(tip.substr(0, 28), "DCIM\\100KELVA\\IMG_0002.JPG, ") << tip;
    EXPECT_EQ(tip.size(), 28u + 19u) << tip;

    std::filesystem::create_directory(Home("Out"));
    main->window.CardNames = true;
    DestinationAnswer answer(*main, "C:\\Out");
    main->view.Click(btnSaveAll);
    for (const testing::CardPhoto& photo : card.photos)
        EXPECT_EQ(testing::ReadFileBytes(Home("Out/" + photo.folder + "/" + photo.name)), photo.bytes) << photo.name;
    EXPECT_FALSE(std::filesystem::exists(Home("Out/Image001.JPG")));
}

TEST_F(CardInTheWindow, SaveKeepsAFileOfThePhotosNameAndTakesTheNext) {
    std::filesystem::create_directory(Home("Out"));
    testing::WriteFileBytes(Home("Out/Image004.JPG"), Bytes(200000, 0x55));
    DestinationAnswer answer(*main, "C:\\Out");
    main->ChooseEntry(3);
    main->view.Click(btnSave);
    EXPECT_EQ(testing::ReadFileBytes(Home("Out/Image004.JPG")), Bytes(200000, 0x55));
    EXPECT_EQ(testing::ReadFileBytes(Home("Out/Image004 (2).JPG")), card.photos[3].bytes);
    EXPECT_FALSE(std::filesystem::exists(Home("Out/Image001.JPG")));
}

TEST_F(CardInTheWindow, ImageDiskCopiesTheCountedSectorsIntoTheChosenFolder) {
    std::filesystem::create_directory(Home("Images"));
    testing::WriteFileBytes(Home("Images/TOBRN.IMG"), Bytes(100 << 20, 0x77));  // longer than the new image
    DestinationAnswer answer(*main, "C:\\Images");
    main->Click(11);
    ASSERT_EQ(main->toolkit.Texts(), std::vector<std::string>{"Make image at C:\\Images\\"});
    const std::int64_t total = std::stoll(main->Caption(lblSectors));
    // The image of another card keeps its name; this one takes the next.
    EXPECT_EQ(std::filesystem::file_size(Home("Images/TOBRN.IMG")), std::uintmax_t{100} << 20);
    EXPECT_EQ(testing::ReadFileBytes(Home("Images/TOBRN (2).IMG")), testing::ReadBytesAt(card.image, 0, total * 512));
    EXPECT_EQ(main->view.Progress(Progress), std::pair(int(total), int(total)));
}

// The card here is an image given at start, which nothing mounts: Disk Wipe cannot work on it,
// and says what does help instead of telling the user to mount it.
TEST_F(CardInTheWindow, DiskWipeOfAnAttachedImageSaysWhatHelps) {
    const Bytes before = testing::ReadFileBytes(card.image);
    main->Click(13);
    ASSERT_EQ(main->toolkit.messages.size(), 1u);
    const std::string told = main->toolkit.messages[0].text;
    EXPECT_EQ(main->toolkit.messages[0].buttons, Message::Buttons::Ok) << "no question is asked";
    EXPECT_EQ(told.rfind("Drive D:\\ cannot be wiped", 0), 0u) << told;
    EXPECT_NE(told.find("put that card in the reader and choose its drive"), std::string::npos) << told;
    EXPECT_NE(told.find("an image that is no longer wanted is simply deleted"), std::string::npos) << told;
    EXPECT_EQ(main->Caption(lblStatus), "Ready");
    EXPECT_EQ(testing::ReadFileBytes(card.image), before);
}

TEST(WindowCards, AFolderOnTheCardIsRefusedAndTheDestinationIsAskedForAgain) {
    testing::TempDir dir;
    const testing::TestCard card = testing::MakePhotoCard(dir.file("card.img"), 3);
    const Bytes before = testing::ReadFileBytes(card.image);
    const std::string mounted = dir.file("card");  // where the card is mounted
    std::filesystem::create_directories(mounted + "/DCIM");
    std::filesystem::create_directory(dir.file("Safe"));
    PosixPlatform::Options options;
    options.images.push_back(AttachedImage(card.image, 0, mounted));
    options.home = dir.path();
    PosixPlatform platform(options);
    MainWindow main(platform);
    main.Choose("D:\\");
    main.Click(3);
    ASSERT_EQ(main.Count(), 3);

    // The card's own folder, by its drive letter or where it is mounted, then a folder elsewhere.
    DestinationAnswer answer(main, {"D:\\DCIM", "C:\\card\\DCIM", "C:\\Safe"});
    main.view.Click(btnSaveAll);
    EXPECT_EQ(answer.answered(), 3);
    const auto texts = main.toolkit.Texts();
    ASSERT_EQ(texts.size(), 3u);  // the summary, then one refusal for each folder on the card
    for (int i = 1; i <= 2; ++i) EXPECT_NE(texts[i].find("Choose a folder on another drive"), std::string::npos) << i;
    EXPECT_EQ(testing::ReadFileBytes(dir.file("Safe/Image001.JPG")), card.photos[0].bytes);
    EXPECT_TRUE(std::filesystem::is_empty(mounted + "/DCIM"));
    EXPECT_EQ(testing::ReadFileBytes(card.image), before);
}

// A real card image: photos copied into DCIM and deleted, found by both families.
TEST(WindowCards, ScansOfARealCardFindTheDeletedPhotosInCardOrder) {
    testing::TempDir dir;
    const auto card = testing::MakePhotoCard(dir.file("card.img"), 12);
    std::vector<std::vector<std::string>> lists;
    for (const DWORD family : {VER_PLATFORM_WIN32_NT, VER_PLATFORM_WIN32_WINDOWS}) {
        PosixPlatform::Options options;
        options.images.push_back({card.image});
        options.platformId = family;
        options.home = dir.path();
        PosixPlatform platform(options);
        MainWindow main(platform);
        main.Choose("D:\\");
        main.Click(3);
        std::vector<std::string> names;
        for (std::int64_t i = 0; i < main.Count(); ++i) names.push_back(main.Entry(i));
        lists.push_back(names);
        ASSERT_EQ(names.size(), card.photos.size());
        for (std::size_t i = 0; i < names.size(); ++i)
            EXPECT_EQ(names[i].substr(names[i].size() - 4), card.photos[i].gif ? ".GIF" : ".JPG") << i;
        EXPECT_EQ(main.toolkit.Texts(), std::vector<std::string>{"Kelvara's found 12 Files"});
        for (std::size_t i = 0; i + 1 < names.size(); ++i)
            EXPECT_EQ(main.window.FoundPhotoTable[i].EndSector, main.window.FoundPhotoTable[i + 1].StartSector);
    }
    EXPECT_EQ(lists[0], lists[1]);
}

// A card of every format cameras and phones write: listed by each file's own header as the
// command line lists it, previewed as far as the pane can show it, saved whole. Where the
// browser cannot show pages, the pane draws the picture a page would show, or shows the words of
// a page that has none (a clip's size and length).
TEST(WindowCards, EveryFormatIsListedPreviewedAndSavedWhole) {
    testing::TempDir dir;
    const std::string image = dir.file("card.img");
    testing::MakeFatImage(image, 32, 140000);
    const auto files = testing::EveryFormatFiles(dir.path());
    std::vector<std::int64_t> starts;
    std::int64_t next = testing::ReadGeometryWithMinfo(image).dataStartSector;
    for (const testing::FormatFile& file : files) {
        starts.push_back(next);
        next = testing::LayFiles(image, next, {file.bytes});
    }
    PosixPlatform::Options options;
    options.images.push_back({image});
    options.home = dir.path();
    PosixPlatform platform(options);
    const auto fileOf = [&](const char* extension) {
        return static_cast<std::size_t>(std::find_if(files.begin(), files.end(), [&](const testing::FormatFile& file) {
                                            return file.extension == extension;
                                        }) - files.begin());
    };
    const std::string temp = PreviewTempFolder(platform);
    const std::size_t dng = fileOf(".DNG"), mp4 = fileOf(".MP4");
    MemoryBytes raw(files[dng].bytes);
    const auto preview = formats::tiff::LargestPreview(raw);
    ASSERT_TRUE(preview);
    const Bytes previewBytes(files[dng].bytes.begin() + static_cast<long>(preview->offset),
                             files[dng].bytes.begin() + static_cast<long>(preview->End()));

    for (const bool browser : {true, false}) {
        SCOPED_TRACE(browser ? "with a browser" : "without a browser");
        testing::FakeToolkit toolkit;
        toolkit.browserRenders = browser;
        FrmMain window(platform, toolkit);
        window.Show();
        testing::FakeView& view = ViewOf(window);
        view.Choose(cbxDrives, 1);
        view.Click(ToolbarButton(3));
        const auto rowOf = [&](std::size_t file) {
            for (std::int64_t row = 0; row < window.PhotoList().count(); ++row)
                if (window.FoundPhotoTable[static_cast<std::size_t>(row)].StartSector == starts[file]) return row;
            return std::int64_t{-1};
        };
        for (std::size_t i = 0; i < files.size(); ++i) {
            ASSERT_GE(rowOf(i), 0) << files[i].extension;
            const std::string name = view.EntryText(lstFiles, rowOf(i));
            EXPECT_EQ(name.substr(name.size() - files[i].extension.size()), files[i].extension);
        }

        // A RAW shows the largest JPEG it carries.
        view.Choose(lstFiles, rowOf(dng));
        EXPECT_EQ(testing::ReadFileBytes(temp + "TB.jpg"), previewBytes);
        if (browser)
            EXPECT_EQ(view.Navigations(WB2).back(), temp + "TB001.htm");
        else
            EXPECT_EQ(view.PictureFiles(WB2).back(), temp + "TB.jpg");
        // A clip: its bytes, and a page that plays it and tells its size and length.
        if (mp4 < files.size()) {
            view.Choose(lstFiles, rowOf(mp4));
            EXPECT_EQ(testing::ReadFileBytes(temp + "TB.mp4"), files[mp4].bytes);
            EXPECT_FALSE(std::filesystem::exists(temp + "TB.jpg"));
            if (browser) {
                EXPECT_EQ(view.Navigations(WB2).size(), 2u);
            } else {
                ASSERT_NE(view.Document(WB2), nullptr);
                ASSERT_EQ(view.Document(WB2)->size(), 1u);
                EXPECT_EQ(view.Document(WB2)->front().Text(), "320 x 240, 0:02");
                EXPECT_EQ(view.PictureFiles(WB2).size(), 1u);
            }
        }
        EXPECT_EQ(view.Text(lblStatus), "Ready");
    }

    MainWindow main(platform);
    main.Choose("D:\\");
    main.Click(3);
    std::filesystem::create_directory(dir.file("Out"));
    main.toolkit.messages.clear();
    DestinationAnswer answer(main, "C:\\Out");
    main.view.Click(btnSaveAll);
    for (std::int64_t row = 0; row < main.Count(); ++row) {
        const auto start = main.window.FoundPhotoTable[static_cast<std::size_t>(row)].StartSector;
        const auto file = std::find(starts.begin(), starts.end(), start) - starts.begin();
        if (file == static_cast<std::ptrdiff_t>(starts.size())) continue;  // a chance signature inside a file
        EXPECT_EQ(testing::ReadFileBytes(dir.file("Out/" + main.Entry(row))), files[static_cast<std::size_t>(file)].bytes)
            << main.Entry(row);
    }
    // What lies inside the files (the DNG's chance FF D8 among them) is said, not saved.
    ASSERT_EQ(main.toolkit.messages.size(), 1u);
    EXPECT_NE(main.toolkit.messages[0].text.find("inside other photos"), std::string::npos) << main.toolkit.messages[0].text;
}

// The command line runs the same scan: the same names, starts and ends as the window's list.
TEST(WindowCards, TheWindowAndTheCommandLineListTheSameCard) {
    testing::TempDir dir;
    const auto card = testing::MakePhotoCard(dir.file("card.img"), 9);
    PosixPlatform::Options options;
    options.images.push_back({card.image});
    options.home = dir.path();
    PosixPlatform platform(options);
    MainWindow main(platform);
    main.Choose("D:\\");
    main.Click(3);
    std::string fromWindow;
    for (std::int64_t i = 0; i < main.Count(); ++i)
        fromWindow += main.Entry(i) + "\t" + std::to_string(main.window.FoundPhotoTable[i].StartSector) + "\t" +
                      std::to_string(main.window.FoundPhotoTable[i].EndSector) + "\n";
    fromWindow += main.toolkit.Texts().back() + "\n";

    const auto self = std::filesystem::absolute(::testing::internal::GetArgvs().at(0));
    const std::string command = (self.parent_path() / "kelvara-cli").string() + " scan '" + card.image + "' --quiet";
    std::string fromCli;
    if (FILE* cli = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, cli)) > 0;) fromCli.append(buffer, got);
        EXPECT_EQ(::pclose(cli), 0);
    }
    EXPECT_EQ(fromCli, fromWindow);
    EXPECT_EQ(main.Count(), 9);
}

}  // namespace
}  // namespace kelvara
