// Faults met through the main window, with a real card image behind drive D: the card pulled or
// cut short while a scan runs, while the destination dialog of Save All is up and at the
// image's question, and the destination folder removed while its dialog is open. The window
// stays at rest afterwards, shows what happened, and keeps every photo it had found.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <filesystem>
#include <thread>

#include "app/frm_main.h"
#include "platform/posix/posix_platform.h"
#include "tests/gui_main/destination_answer.h"
#include "tests/gui_main/message_answers.h"
#include "tests/support/fat_image.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_photos.h"
#include "ui/message_box.h"

namespace kelvara {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;
using testing::DestinationAnswer;
using Messages = testing::MessageAnswers;

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
        window = std::make_unique<FrmMain>(*platform);
        window->cbxDrives->setCurrentIndex(window->cbxDrives->findText("D:\\"));
        window->cbxDrives_Click();
        total = window->lblSectors->text().toInt();
        ASSERT_GT(total, 130000);
    }
    void TearDown() override {
        window.reset();
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (widget->isWindow()) widget->close();
    }
    // Scans with `fault` done the first time the window lets events run, during the first run.
    void ScanWith(const std::function<void()>& fault) {
        // The window lets events run at most every 15 ms; make sure the first yield is one.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (fault) QTimer::singleShot(0, fault);
        window->Toolbar1_ButtonClick(3);
    }
    void PutCardBack() {
        fs::remove(image);
        fs::copy_file(dir.file("kept.img"), image);
    }
    std::string Home(const std::string& name) const { return dir.file(name); }
    void ExpectAtRest() {
        EXPECT_FALSE(window->IsBusy());
        EXPECT_FALSE(window->CommandRunning());
        EXPECT_EQ(window->lblStatus->text(), "Ready");
    }

    testing::TempDir dir;
    std::string image;
    std::vector<Bytes> photos;
    std::unique_ptr<PosixPlatform> platform;
    std::unique_ptr<FrmMain> window;
    int total = 0;
};

TEST_F(WindowFaults, ACardPulledMidScanLeavesTheListAndTheWindowUsable) {
    Messages messages;
    ScanWith([&] { fs::remove(image); });
    ASSERT_EQ(window->lstFiles->count(), 1);
    EXPECT_EQ(window->lstFiles->EntryText(0), "Image001.JPG");
    const QStringList texts = messages.Texts();
    ASSERT_EQ(texts.size(), 2);
    EXPECT_TRUE(texts[0].startsWith("Kelvara could not read drive D:\\ from sector ")) << texts[0].toStdString();
    EXPECT_EQ(texts[1], "Kelvara's found 1 Files");
    EXPECT_EQ(window->Progress->value(), 0);
    ExpectAtRest();

    // The photo cannot be shown without the card, and the pane says nothing false.
    window->lstFiles->setCurrentRow(-1);
    window->lstFiles->setCurrentRow(0);
    EXPECT_EQ(window->PreviewCount(), 0);
    EXPECT_TRUE(window->picBox->isHidden());
    ASSERT_EQ(messages.Texts().size(), 3);
    EXPECT_TRUE(messages.Texts()[2].startsWith("The photo cannot be shown.")) << messages.Texts()[2].toStdString();

    // With the card back, the photo found before the pull is saved whole.
    PutCardBack();
    DestinationAnswer answer("C:\\Out");
    window->btnSaveAll->click();
    EXPECT_EQ(testing::ReadFileBytes(Home("Out/Image001.JPG")), photos[0]);
    EXPECT_EQ(messages.Texts().size(), 3);
    ExpectAtRest();
}

TEST_F(WindowFaults, ACardCutShortMidScanIsToldAndItsPhotosAreSavedWhole) {
    Messages messages;
    ScanWith([&] { fs::resize_file(image, std::uint64_t{60000} * 512); });
    ASSERT_EQ(window->lstFiles->count(), 2);
    EXPECT_EQ(window->FoundPhotoTable[1].EndSector, 60000);
    const QStringList texts = messages.Texts();
    ASSERT_EQ(texts.size(), 2);
    EXPECT_EQ(texts[0], "Kelvara's found 2 Files");
    EXPECT_TRUE(texts[1].startsWith("Drive D:\\ holds nothing from sector 60000 on")) << texts[1].toStdString();
    ExpectAtRest();

    DestinationAnswer answer("C:\\Out");
    window->btnSaveAll->click();
    EXPECT_EQ(messages.Texts().size(), 2);
    EXPECT_EQ(testing::ReadFileBytes(Home("Out/Image001.JPG")), photos[0]);
    EXPECT_EQ(testing::ReadFileBytes(Home("Out/Image002.JPG")), photos[1]);
}

TEST_F(WindowFaults, SaveAllAndImageDiskWithTheCardCutShortUnderThemSayHowFarTheyGot) {
    {
        Messages quiet;
        ScanWith({});
    }
    ASSERT_EQ(window->lstFiles->count(), 3);
    Messages messages;
    {
        // Cut short while the destination dialog is up, four sectors into the third photo.
        DestinationAnswer answer("C:\\Out", [&] { fs::resize_file(image, std::uint64_t{80004} * 512); });
        window->btnSaveAll->click();
    }
    ASSERT_EQ(messages.Texts().size(), 1);
    EXPECT_EQ(messages.Texts()[0],
              "Saved 2 of 3 photos; 1 could not be saved.\n\nImage003.JPG could not be read: Drive D:\\ holds "
              "nothing from sector 80004 on, inside the photo. The card may have been taken out or changed.");
    EXPECT_EQ(testing::ReadFileBytes(Home("Out/Image001.JPG")), photos[0]);
    EXPECT_EQ(testing::ReadFileBytes(Home("Out/Image002.JPG")), photos[1]);
    EXPECT_FALSE(fs::exists(Home("Out/Image003.JPG")));
    ExpectAtRest();

    // Cut shorter still as the image's question is answered.
    std::vector<QString> shown;
    MessageBox::SetResponder([&, cut = false](const MessageBox::Shown& box) mutable {
        shown.push_back(box.text);
        if (!cut) fs::resize_file(image, std::uint64_t{30000} * 512);
        cut = true;
        return true;
    });
    {
        DestinationAnswer answer("C:\\Out");
        window->Toolbar1_ButtonClick(11);
    }
    MessageBox::SetResponder({});
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0], "Make image at C:\\Out\\");
    EXPECT_TRUE(shown[1].contains("Drive D:\\ holds nothing from sector 30000 on")) << shown[1].toStdString();
    EXPECT_TRUE(shown[1].contains("is incomplete: it holds 30000 of " + QString::number(total) + " sectors."))
        << shown[1].toStdString();
    EXPECT_EQ(fs::file_size(Home("Out/TOBRN.IMG.partial")), std::uintmax_t{30000} * 512);
    EXPECT_EQ(window->Progress->value(), 30000);
    ExpectAtRest();
}

TEST_F(WindowFaults, ADestinationRemovedWhileItsDialogIsOpenIsToldAndNothingIsWrittenElsewhere) {
    {
        Messages quiet;
        ScanWith({});
    }
    fs::create_directory(Home("Gone"));
    Messages messages;
    {
        DestinationAnswer answer("C:\\Gone", [&] { fs::remove(Home("Gone")); });
        window->btnSaveAll->click();
    }
    ASSERT_EQ(messages.Texts().size(), 1);
    EXPECT_EQ(messages.Texts()[0],
              "Saved 0 of 3 photos; 3 could not be saved.\n\nImage001.JPG could not be written: The system cannot find "
              "the path specified.");
    EXPECT_FALSE(fs::exists(Home("Gone")));
    {
        fs::create_directory(Home("Gone"));
        DestinationAnswer answer("C:\\Gone", [&] { fs::remove(Home("Gone")); });
        window->Toolbar1_ButtonClick(11);
    }
    ASSERT_EQ(messages.Texts().size(), 3);
    EXPECT_EQ(messages.Texts()[1], "Make image at C:\\Gone\\");
    EXPECT_TRUE(messages.Texts()[2].startsWith("TOBRN.IMG could not be created in C:\\Gone: The system cannot find the "
                                               "path specified."))
        << messages.Texts()[2].toStdString();
    EXPECT_FALSE(fs::exists(Home("Gone")));
    ExpectAtRest();

    // The next Save All, into a folder that is there, saves everything.
    DestinationAnswer answer("C:\\Out");
    window->btnSaveAll->click();
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(testing::ReadFileBytes(Home("Out/Image00" + std::to_string(i + 1) + ".JPG")), photos[i]);
}

}  // namespace
}  // namespace kelvara
