// Found photos through the main window's real controls: the preview pane, Save and Save All
// with the destination dialog, Image Disk and Disk Wipe from the toolbar.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QPlatformSurfaceEvent>
#include <QProgressBar>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QToolBar>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QWindow>
#include <filesystem>

#include "app/browser_engine.h"
#include "app/frm_main.h"
#include "folder_dialogs/dir_list.h"
#include "folder_dialogs/save_folder.h"
#include "formats/format_walkers.h"
#include "formats/heif_preview.h"
#include "photos/preview_files.h"
#include "platform/posix/posix_platform.h"
#include "tests/gui_main/child_test.h"
#include "tests/gui_main/destination_answer.h"
#include "tests/gui_main/message_answers.h"
#include "tests/support/test_photos.h"
#include "tests/gui_main/x_server.h"
#include "tests/support/fake_platform.h"
#include "tests/support/fat_image.h"
#include "tests/support/format_files.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_card.h"
#include "ui/message_box.h"

namespace kelvara {
namespace {

using testing::Bytes;
using testing::FakePlatform;

using Messages = testing::MessageAnswers;
using testing::DestinationAnswer;

class PhotosThroughTheWindow : public ::testing::Test {
protected:
    void SetUp() override {
        card = testing::MakePhotoCard(dir.file("card.img"), 6);
        PosixPlatform::Options options;
        options.images.push_back({card.image});
        options.home = dir.path();
        platform = std::make_unique<PosixPlatform>(options);
        window = std::make_unique<FrmMain>(*platform);
        window->cbxDrives->setCurrentIndex(window->cbxDrives->findText("D:\\"));
        window->cbxDrives_Click();
        Messages quiet;
        window->Toolbar1_ButtonClick(3);
        ASSERT_EQ(window->lstFiles->count(), 6);
    }
    void TearDown() override {
        window.reset();
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (widget->isWindow()) widget->close();
    }
    std::string Home(const std::string& name) const { return dir.file(name); }

    testing::TempDir dir;
    testing::TestCard card;
    std::unique_ptr<PosixPlatform> platform;
    std::unique_ptr<FrmMain> window;
};

TEST_F(PhotosThroughTheWindow, AClickPreviewsThePhotoFromTwoFreshFiles) {
    const std::string temp = PreviewTempFolder(*platform);
    ASSERT_FALSE(temp.empty());
    window->lstFiles->setCurrentRow(2);  // a JPEG with a thumbnail inside, the longest
    EXPECT_EQ(window->PreviewCount(), 1);
    EXPECT_EQ(testing::ReadFileBytes(temp + "TB.jpg"), card.photos[2].bytes);
    const Bytes page = testing::ReadFileBytes(temp + "TB001.htm");
    EXPECT_EQ(std::string(page.begin(), page.end()),
              "<body topmargin=\"0\" leftmargin=\"0\"><img border=\"0\" src=\"" + temp +
                  "TB.jpg\" width=\"256\" height=\"256\"></body>");
    EXPECT_FALSE(window->picBox->isHidden());
    EXPECT_TRUE(window->Image1->isHidden());
    EXPECT_EQ(window->lblStatus->text(), "Ready");

    // A shorter photo after a longer one leaves no tail of the longer.
    window->lstFiles->setCurrentRow(0);
    EXPECT_EQ(testing::ReadFileBytes(temp + "TB.jpg"), card.photos[0].bytes);

    // The pane stays on the browser, even when the guide picture changes later.
    window->ShowGuidePicture(3);
    EXPECT_TRUE(window->Image1->isHidden());
}

// Clicks as a person makes them. The entry the scan left selected previews on a click, and
// again on the next (a retry); a click that moves the selection previews once, as does a key.
TEST_F(PhotosThroughTheWindow, EveryClickOnAnEntryPreviewsItOnce) {
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    auto clickRow = [&](int row) {
        const QRect entry = window->lstFiles->EntryRect(row);
        QTest::mouseClick(window->lstFiles->viewport(), Qt::LeftButton, {}, entry.center());
    };
    ASSERT_EQ(window->lstFiles->currentRow(), 5);  // the newest, selected by the scan
    EXPECT_EQ(window->PreviewCount(), 0);
    clickRow(5);
    EXPECT_EQ(window->PreviewCount(), 1);
    clickRow(5);
    EXPECT_EQ(window->PreviewCount(), 2);
    clickRow(2);
    EXPECT_EQ(window->lstFiles->currentRow(), 2);
    EXPECT_EQ(window->PreviewCount(), 3);
    EXPECT_EQ(testing::ReadFileBytes(PreviewTempFolder(*platform) + "TB.jpg"), card.photos[2].bytes);
    QTest::keyClick(window->lstFiles, Qt::Key_Down);
    EXPECT_EQ(window->lstFiles->currentRow(), 3);
    EXPECT_EQ(window->PreviewCount(), 4);
    EXPECT_EQ(window->lblStatus->text(), "Ready");
    // Below the last entry there is nothing to show, and the chosen entry stays chosen.
    const QPoint below(window->lstFiles->EntryRect(5).center().x(), window->lstFiles->EntryRect(5).bottom() + 3);
    ASSERT_TRUE(window->lstFiles->viewport()->rect().contains(below))
        << window->lstFiles->EntryRect(5).bottom() << " " << window->lstFiles->viewport()->height();
    QTest::mouseClick(window->lstFiles->viewport(), Qt::LeftButton, {}, below);
    EXPECT_EQ(window->lstFiles->currentRow(), 3);
    EXPECT_EQ(window->lstFiles->selectionModel()->selectedRows(), QModelIndexList{window->lstFiles->currentIndex()});
    EXPECT_EQ(window->PreviewCount(), 4);
}

// As root, with no sandbox setting in the environment, the program itself lets the browser
// engine start: a preview shows the photo, and nothing alarming is printed.
TEST_F(PhotosThroughTheWindow, AsRootAPreviewWorksWithNoSandboxSettingInTheEnvironment) {
    if (!RunningAsRoot()) GTEST_SKIP() << "only root meets the engine's refusal";
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("QTWEBENGINE_DISABLE_SANDBOX");
    environment.remove("QTWEBENGINE_CHROMIUM_FLAGS");
    const auto child =
        testing::RunChildTest("PhotosThroughTheWindow.EachPreviewShowsTheNewPhotoNotACachedOne", environment);
    EXPECT_TRUE(child.passed) << child.output.toStdString();
    for (const char* alarming : {"sandbox", "Sandbox", "qt.webenginecontext"})
        EXPECT_FALSE(child.output.contains(alarming)) << child.output.toStdString();
}

// The browser's drawing surface, made late, makes the window system build the whole window anew:
// it shows black for a moment at the first preview. Only a real window system shows that, so
// the test runs itself again under a virtual X server.
TEST_F(PhotosThroughTheWindow, TheFirstPreviewKeepsTheWindowItWasShownIn) {
    if (QGuiApplication::platformName() != "xcb") {
        testing::XServer x;
        if (!x.unavailable().isEmpty()) GTEST_SKIP() << x.unavailable().toStdString();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DISPLAY", x.display());
        environment.insert("QT_QPA_PLATFORM", "xcb");
        const auto child =
            testing::RunChildTest("PhotosThroughTheWindow.TheFirstPreviewKeepsTheWindowItWasShownIn", environment);
        EXPECT_TRUE(child.passed) << child.output.toStdString();
        return;
    }
    struct SurfaceWatch : QObject {
        int destroyed = 0;
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::PlatformSurface &&
                static_cast<QPlatformSurfaceEvent*>(event)->surfaceEventType() ==
                    QPlatformSurfaceEvent::SurfaceAboutToBeDestroyed)
                ++destroyed;
            return false;
        }
    } watch;
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    QWindow* const shownIn = window->windowHandle();
    shownIn->installEventFilter(&watch);
    QSignalSpy loaded(window->WB2, &QWebEngineView::loadFinished);
    QTest::mouseClick(window->lstFiles->viewport(), Qt::LeftButton, {}, window->lstFiles->EntryRect(0).center());
    ASSERT_EQ(window->PreviewCount(), 1);
    EXPECT_TRUE(loaded.count() > 0 || loaded.wait(15000));
    QTest::qWait(100);
    EXPECT_EQ(watch.destroyed, 0) << "the window was built anew";
    EXPECT_EQ(window->windowHandle(), shownIn);
    EXPECT_FALSE(window->picBox->isHidden());
}

// What the pane's page answers to a script, run once it has loaded.
QVariant PaneAnswer(FrmMain& window, const QString& script) {
    QVariant answer;
    QEventLoop loop;
    window.WB2->page()->runJavaScript(script, [&](const QVariant& result) {
        answer = result;
        loop.quit();
    });
    QTimer::singleShot(15000, &loop, &QEventLoop::quit);
    loop.exec();
    return answer;
}

// Waits for the pane to load the page the preview wrote; the width of the picture it shows, as
// the browser engine decoded it (-1 without one).
int ShownWidth(FrmMain& window) {
    QEventLoop loop;
    QObject::connect(window.WB2, &QWebEngineView::loadFinished, &loop, &QEventLoop::quit);
    QTimer::singleShot(15000, &loop, &QEventLoop::quit);
    loop.exec();
    return PaneAnswer(window, "document.images.length ? document.images[0].naturalWidth : -1").toInt();
}

TEST_F(PhotosThroughTheWindow, EachPreviewShowsTheNewPhotoNotACachedOne) {
    const auto loaded = [&] { return ShownWidth(*window); };
    window->lstFiles->setCurrentRow(0);
    EXPECT_EQ(loaded(), 96);  // the photos are drawn 96 + 37 i pixels wide
    window->lstFiles->setCurrentRow(1);
    EXPECT_EQ(loaded(), 133);
    window->lstFiles->setCurrentRow(0);
    EXPECT_EQ(loaded(), 96);
}

TEST_F(PhotosThroughTheWindow, SaveAllWritesEveryPhotoAsItWasOnTheCard) {
    std::filesystem::create_directory(Home("Out"));
    Messages messages;
    // While the destination is chosen, the dialog belongs to the main window (so it stays above
    // it), and the commands that would be refused meanwhile, and the drive combo, look unavailable.
    const auto longCommands = [&] {
        return QList<bool>{window->ToolbarButton(3)->isEnabled(), window->ToolbarButton(11)->isEnabled(),
                           window->ToolbarButton(13)->isEnabled(), window->btnSave->isEnabled(),
                           window->btnSaveAll->isEnabled(), window->cbxDrives->isEnabled()};
    };
    const QList<bool> allEnabled(6, true);
    EXPECT_EQ(longCommands(), allEnabled);
    bool ownedAndUnavailable = false;
    DestinationAnswer answer("C:\\Out", [&] {
        const auto dialogs = window->findChildren<SaveFolder*>();
        ownedAndUnavailable = dialogs.size() == 1 && dialogs[0]->isWindow() && longCommands() == QList<bool>(6, false) &&
                              window->ToolbarButton(5)->isEnabled();
    });
    window->btnSaveAll->click();
    EXPECT_TRUE(ownedAndUnavailable);
    EXPECT_EQ(longCommands(), allEnabled);
    EXPECT_EQ(answer.answered(), 1);
    EXPECT_EQ(window->Folder, "C:\\Out");
    EXPECT_FALSE(window->ffdone);
    for (std::size_t i = 0; i < card.photos.size(); ++i) {
        const std::string name = "Image00" + std::to_string(i + 1) + (card.photos[i].gif ? ".GIF" : ".JPG");
        EXPECT_EQ(testing::ReadFileBytes(Home("Out/" + name)), card.photos[i].bytes) << name;
        EXPECT_FALSE(QImage(QString::fromStdString(Home("Out/" + name))).isNull()) << name;  // a viewer opens it
    }
    EXPECT_TRUE(messages.shown().empty());
    EXPECT_EQ(window->lblStatus->text(), "Ready");
}

TEST_F(PhotosThroughTheWindow, SaveWritesTheSelectedPhotoOverALongerFile) {
    std::filesystem::create_directory(Home("Out"));
    testing::WriteFileBytes(Home("Out/Image004.JPG"), Bytes(200000, 0x55));
    Messages messages;
    DestinationAnswer answer("C:\\Out");
    window->lstFiles->setCurrentRow(3);
    window->btnSave->click();
    EXPECT_EQ(testing::ReadFileBytes(Home("Out/Image004.JPG")), card.photos[3].bytes);
    EXPECT_FALSE(std::filesystem::exists(Home("Out/Image001.JPG")));
}

TEST_F(PhotosThroughTheWindow, CancelSavesNothingAndNoSelectionAsksNothing) {
    Messages messages;
    DestinationAnswer cancel("");
    window->btnSaveAll->click();
    EXPECT_EQ(cancel.answered(), 1);
    EXPECT_EQ(window->Folder, "No");
    EXPECT_FALSE(window->ffdone);
    EXPECT_FALSE(std::filesystem::exists(Home("Image001.JPG")));

    window->lstFiles->StartScan("Image");  // an empty list, as a scan that found nothing leaves it
    window->btnSave->click();
    window->btnSaveAll->click();
    EXPECT_EQ(cancel.answered(), 1);  // no dialog for nothing to save
}

TEST_F(PhotosThroughTheWindow, ImageDiskCopiesTheCountedSectorsIntoTheChosenFolder) {
    std::filesystem::create_directory(Home("Images"));
    testing::WriteFileBytes(Home("Images/TOBRN.IMG"), Bytes(100 << 20, 0x77));  // longer than the new image
    Messages messages;
    DestinationAnswer answer("C:\\Images");
    window->Toolbar1_ButtonClick(11);
    ASSERT_EQ(messages.shown().size(), 1u);
    EXPECT_EQ(messages.shown()[0].text, "Make image at C:\\Images\\");
    EXPECT_EQ(messages.shown()[0].title, "Make Image");
    const std::int64_t total = window->lblSectors->text().toLongLong();
    EXPECT_EQ(std::filesystem::file_size(Home("Images/TOBRN.IMG")), static_cast<std::uintmax_t>(total * 512));
    EXPECT_EQ(testing::ReadFileBytes(Home("Images/TOBRN.IMG")), testing::ReadBytesAt(card.image, 0, total * 512));
    EXPECT_EQ(window->Progress->maximum(), total);
    EXPECT_EQ(window->Progress->value(), total);
}

TEST_F(PhotosThroughTheWindow, ImageDiskAtARootAsksWithTwoBackslashesAndNoWritesNothing) {
    Messages no(false);
    DestinationAnswer answer("C:\\");
    window->Toolbar1_ButtonClick(11);
    ASSERT_EQ(no.shown().size(), 1u);
    EXPECT_EQ(no.shown()[0].text, "Make image at C:\\\\");
    EXPECT_FALSE(std::filesystem::exists(Home("TOBRN.IMG")));
}

// The card here is an image given at start, which nothing mounts: Disk Wipe cannot work on it,
// and says what does help instead of telling the user to mount it.
TEST_F(PhotosThroughTheWindow, DiskWipeOfAnAttachedImageSaysWhatHelps) {
    Messages messages;
    const testing::Bytes before = testing::ReadFileBytes(card.image);
    QTest::mouseClick(window->Toolbar1->widgetForAction(window->ToolbarButton(13)), Qt::LeftButton);
    ASSERT_EQ(messages.shown().size(), 1u);
    const QString told = messages.shown()[0].text;
    EXPECT_EQ(messages.shown()[0].buttons, MessageBox::Buttons::Ok) << "no question is asked";
    EXPECT_TRUE(told.startsWith("Drive D:\\ cannot be wiped")) << told.toStdString();
    EXPECT_TRUE(told.contains("put that card in the reader and choose its drive")) << told.toStdString();
    EXPECT_TRUE(told.contains("an image that is no longer wanted is simply deleted")) << told.toStdString();
    EXPECT_EQ(window->lblStatus->text(), "Ready");
    EXPECT_EQ(testing::ReadFileBytes(card.image), before);
}

TEST(FrmMainPhotos, AClickDuringAScanDoesNothingAndAFailedPreviewWritesNothing) {
    Messages messages;
    FakePlatform platform;
    auto& volume = platform.AddVolume('E', 2000);
    volume[0] = 0xFF;
    volume[1] = 0xD8;
    FrmMain window(platform);
    window.cbxDrives->setCurrentIndex(1);
    window.cbxDrives_Click();
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    platform.onCall = [&](const std::string& call) {
        if (call.rfind("ReadFile", 0) != 0 || window.lstFiles->count() != 1) return;
        const QRect entry = window.lstFiles->EntryRect(0);
        QTest::mouseClick(window.lstFiles->viewport(), Qt::LeftButton, {}, entry.center());
    };
    window.Toolbar1_ButtonClick(3);
    platform.onCall = nullptr;
    EXPECT_EQ(window.PreviewCount(), 0);
    EXPECT_TRUE(platform.CallsNamed("GetTempPathA").empty());
    EXPECT_TRUE(window.picBox->isHidden());

    // After the scan a click previews; a pulled card says so and leaves the pane alone.
    platform.drives['E'].volume.reset();
    window.lstFiles_Click();
    EXPECT_EQ(window.PreviewCount(), 0);
    EXPECT_TRUE(window.picBox->isHidden());
    EXPECT_EQ(window.lblStatus->text(), "Ready");
    ASSERT_EQ(messages.shown().size(), 2u);
    EXPECT_EQ(messages.shown()[0].icon, MessageBox::Icon::None);  // the summary is news
    EXPECT_TRUE(messages.shown()[1].text.contains("not ready")) << messages.shown()[1].text.toStdString();
    EXPECT_EQ(messages.shown()[1].icon, MessageBox::Icon::Warning);  // this went wrong

    // With the card back but no usable private folder (someone planted a link at its place),
    // the preview says so and writes nothing, not in the folder the program runs in either.
    platform.AddVolume('E', 2000)[0] = 0xFF;
    platform.tempPath.clear();
    window.lstFiles_Click();
    EXPECT_TRUE(platform.files.empty());
    EXPECT_EQ(window.PreviewCount(), 0);
    ASSERT_EQ(messages.shown().size(), 3u);
    EXPECT_TRUE(messages.shown()[2].text.contains("no private folder")) << messages.shown()[2].text.toStdString();
    EXPECT_EQ(window.lblStatus->text(), "Ready");
}

// A card of every format cameras and phones write: listed by each file's own header as the
// command line lists it, previewed as far as the browser engine can show it, saved whole.
TEST(FrmMainPhotos, EveryFormatIsListedPreviewedAndSavedWhole) {
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
    FrmMain window(platform);
    window.cbxDrives->setCurrentIndex(window.cbxDrives->findText("D:\\"));
    window.cbxDrives_Click();
    {
        Messages quiet;
        window.Toolbar1_ButtonClick(3);
    }
    const auto rowOf = [&](std::size_t file) {
        for (int row = 0; row < window.lstFiles->count(); ++row)
            if (window.FoundPhotoTable[static_cast<std::size_t>(row)].StartSector == starts[file]) return row;
        return -1;
    };
    for (std::size_t i = 0; i < files.size(); ++i) {
        ASSERT_GE(rowOf(i), 0) << files[i].extension;
        EXPECT_TRUE(window.lstFiles->EntryText(rowOf(i)).endsWith(QString::fromStdString(files[i].extension)));
    }
    const auto fileOf = [&](const char* extension) {
        return static_cast<std::size_t>(std::find_if(files.begin(), files.end(), [&](const testing::FormatFile& file) {
                                            return file.extension == extension;
                                        }) - files.begin());
    };

    // A RAW shows the largest JPEG it carries.
    const std::string temp = PreviewTempFolder(platform);
    const std::size_t dng = fileOf(".DNG");
    window.lstFiles->setCurrentRow(rowOf(dng));
    EXPECT_EQ(ShownWidth(window), 160);
    MemoryBytes raw(files[dng].bytes);
    const auto preview = formats::tiff::LargestPreview(raw);
    ASSERT_TRUE(preview);
    EXPECT_EQ(testing::ReadFileBytes(temp + "TB.jpg"),
              Bytes(files[dng].bytes.begin() + static_cast<long>(preview->offset),
                    files[dng].bytes.begin() + static_cast<long>(preview->End())));
    // HEIC, decoded; a clip, a page that plays it and tells its size and length.
    const bool decoder = formats::HeifToJpeg({}, 1).error.find("no HEIC/AVIF decoder") == std::string::npos;
    if (const std::size_t heic = fileOf(".HEIC"); heic < files.size() && decoder) {
        window.lstFiles->setCurrentRow(rowOf(heic));
        EXPECT_EQ(ShownWidth(window), 320);
    }
    if (const std::size_t mp4 = fileOf(".MP4"); mp4 < files.size()) {
        window.lstFiles->setCurrentRow(rowOf(mp4));
        ShownWidth(window);
        EXPECT_EQ(testing::ReadFileBytes(temp + "TB.mp4"), files[mp4].bytes);
        EXPECT_EQ(PaneAnswer(window, "document.body.innerText").toString(), "320 x 240, 0:02");
        EXPECT_EQ(PaneAnswer(window, "document.querySelectorAll('video').length").toInt(), 1);
        EXPECT_FALSE(std::filesystem::exists(temp + "TB.jpg"));
    }
    EXPECT_EQ(window.lblStatus->text(), "Ready");

    std::filesystem::create_directory(dir.file("Out"));
    Messages messages;
    DestinationAnswer answer("C:\\Out");
    window.btnSaveAll->click();
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::string name = window.lstFiles->EntryText(rowOf(i)).toStdString();
        EXPECT_EQ(testing::ReadFileBytes(dir.file("Out/" + name)), files[i].bytes) << name;
    }
    // What lies inside the files (the DNG's chance FF D8 among them) is said, not saved.
    ASSERT_EQ(messages.Texts().size(), 1);
    EXPECT_TRUE(messages.Texts()[0].contains("inside other photos")) << messages.Texts()[0].toStdString();
}

TEST(FrmMainPhotos, AFolderOnTheCardIsRefusedAndTheDestinationIsAskedForAgain) {
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
    FrmMain window(platform);
    window.cbxDrives->setCurrentIndex(window.cbxDrives->findText("D:\\"));
    window.cbxDrives_Click();
    Messages messages;
    window.Toolbar1_ButtonClick(3);
    ASSERT_EQ(window.lstFiles->count(), 3);

    // The card's own folder, by its drive letter or where it is mounted, then a folder elsewhere.
    DestinationAnswer answer({"D:\\DCIM", "C:\\card\\DCIM", "C:\\Safe"});
    window.btnSaveAll->click();
    EXPECT_EQ(answer.answered(), 3);
    ASSERT_EQ(messages.Texts().size(), 3);  // the summary, then one refusal for each folder on the card
    for (int i = 1; i <= 2; ++i) EXPECT_TRUE(messages.Texts()[i].contains("Choose a folder on another drive")) << i;
    EXPECT_EQ(testing::ReadFileBytes(dir.file("Safe/Image001.JPG")), card.photos[0].bytes);
    EXPECT_TRUE(std::filesystem::is_empty(mounted + "/DCIM"));
    EXPECT_EQ(testing::ReadFileBytes(card.image), before);
}

// On a slow destination every photo takes a while: the bar counts the photos of Save All, the
// bytes of the one photo of Save, as the window shows them, and is back at 0 when it is done.
TEST(FrmMainPhotos, SaveAllCountsItsPhotosOnTheProgressBarAndSaveTheBytes) {
    Messages messages;
    FakePlatform platform;
    auto& volume = platform.AddVolume('E', 36000);
    constexpr int kPhotos = 8;
    const auto photo = [&](std::int64_t sector, std::int64_t endSector) {
        const auto bytes = testing::MakePhotoRun(static_cast<std::size_t>(endSector - sector) * 512, static_cast<int>(sector));
        std::copy(bytes.begin(), bytes.end(), volume.begin() + sector * 512);
    };
    for (int i = 0; i + 1 < kPhotos; ++i) photo(100 + 300 * i, 140 + 300 * i);  // 20 KiB each
    photo(2500, 34500);  // 16,000 KiB, read and written in many pieces
    platform.folders.insert("C:\\");
    platform.folders.insert("C:\\Out");
    FrmMain window(platform);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.cbxDrives->setCurrentIndex(window.cbxDrives->findText("E:\\"));
    window.cbxDrives_Click();
    window.Toolbar1_ButtonClick(3);
    ASSERT_EQ(window.lstFiles->count(), kPhotos);

    std::vector<std::pair<int, int>> shown;  // value, maximum
    QObject::connect(window.Progress, &QProgressBar::valueChanged,
                     [&](int value) { shown.emplace_back(value, window.Progress->maximum()); });
    platform.onCall = [](const std::string& call) {
        if (call.rfind("WriteFile", 0) == 0) QThread::msleep(20);
    };
    DestinationAnswer answer("C:\\Out");
    QTest::mouseClick(window.btnSaveAll, Qt::LeftButton);
    ASSERT_EQ(answer.answered(), 1);
    ASSERT_TRUE(platform.files.count("C:\\Out\\Image008.JPG"));
    ASSERT_GE(shown.size(), 3u);
    for (std::size_t i = 0; i + 1 < shown.size(); ++i) {
        EXPECT_EQ(shown[i].second, kPhotos) << i;
        if (i > 0) {
            EXPECT_GT(shown[i].first, shown[i - 1].first) << i;
        }
    }
    EXPECT_EQ(shown.back().first, 0);
    EXPECT_EQ(window.Progress->value(), 0);

    shown.clear();
    window.lstFiles->setCurrentRow(kPhotos - 1);
    QTest::mouseClick(window.btnSave, Qt::LeftButton);
    platform.onCall = nullptr;
    ASSERT_EQ(answer.answered(), 2);
    const auto bytes = static_cast<int>(platform.files.at("C:\\Out\\Image008.JPG").size());
    EXPECT_EQ(bytes, 32000 * 512);
    ASSERT_GE(shown.size(), 2u);
    for (std::size_t i = 0; i + 1 < shown.size(); ++i) {
        EXPECT_EQ(shown[i].second, bytes) << i;
        EXPECT_GT(shown[i].first, 0) << i;
    }
    EXPECT_EQ(shown.back().first, 0);
    EXPECT_EQ(messages.Texts(), QStringList{"Kelvara's found 8 Files"});
    EXPECT_EQ(window.lblStatus->text(), "Ready");
}

TEST(FrmMainPhotos, DiskWipeFromTheToolbarEmptiesTheRootAndFillsTheCard) {
    FakePlatform platform;
    platform.AddVolume('E', 40);
    platform.folders.insert("E:\\");
    platform.folders.insert("E:\\DCIM");
    platform.files["E:\\notes.txt"] = {1, 2, 3};
    platform.files["E:\\DCIM\\IMG_0001.JPG"] = {0xFF, 0xD8};
    FrmMain window(platform);
    window.cbxDrives->setCurrentIndex(1);
    window.cbxDrives_Click();
    {
        Messages no(false);
        window.Toolbar1_ButtonClick(13);
        ASSERT_EQ(no.shown().size(), 1u);
        EXPECT_EQ(no.shown()[0].title, "Confrim");
        EXPECT_EQ(no.shown()[0].text,
                  "Disk wipe will completely erase all data from the disk makeing any recovery attempt impossible."
                  "         Are you sure you want to wipe this disk?");
        EXPECT_TRUE(platform.files.count("E:\\notes.txt"));
        EXPECT_EQ(window.lblStatus->text(), "Ready");
    }
    Messages yes;
    window.Toolbar1_ButtonClick(13);
    EXPECT_EQ(yes.Texts().size(), 1);  // the question only: a wipe that worked says nothing more
    EXPECT_FALSE(platform.files.count("E:\\notes.txt"));
    EXPECT_TRUE(platform.files.count("E:\\DCIM\\IMG_0001.JPG"));
    ASSERT_TRUE(platform.files.count("E:\\Wipe.img"));
    EXPECT_EQ(platform.files["E:\\Wipe.img"].size(), 40u * 513);
    EXPECT_EQ(window.Progress->value(), 40);
    EXPECT_EQ(window.lblStatus->text(), "Ready");
}

}  // namespace
}  // namespace kelvara
