// The Qt windows as people use them: the real widgets made from the core's layouts, driven with
// the mouse and the keys on Qt's offscreen platform, and the browser engine's pages. What the
// windows decide is tested on the core (tests/window); here, that the Qt view shows it and
// passes on what the user does.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlatformSurfaceEvent>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QWindow>
#include <filesystem>
#include <map>
#include <memory>
#include <sys/stat.h>

#include "formats/heif_preview.h"
#include "photos/preview_files.h"
#include "platform/posix/posix_platform.h"
#include "tests/gui_main/child_test.h"
#include "tests/gui_main/destination_answer.h"
#include "tests/gui_main/message_answers.h"
#include "tests/gui_main/x_server.h"
#include "tests/support/fake_platform.h"
#include "tests/support/fat_image.h"
#include "tests/support/format_files.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_card.h"
#include "window/control_ids.h"
#include "window/frm_about.h"
#include "window/frm_browser.h"
#include "window/frm_main.h"
#include "window/frm_options.h"
#include "window/save_folder.h"
#include "window_qt/browser_engine.h"
#include "window_qt/image_lists.h"
#include "window_qt/qt_controls.h"
#include "window_qt/qt_toolkit.h"
#include "window_qt/qt_window.h"

namespace kelvara {
namespace {

using namespace ids::frm_main;
using qt::EntryListView;
using qt::QtWindow;
using testing::FakePlatform;
using Messages = testing::MessageAnswers;

QtWindow& ViewOf(WindowCore& window) { return dynamic_cast<QtWindow&>(window.view()); }

bool WaitFor(const std::function<bool()>& done, int milliseconds) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > milliseconds) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

// The main window with its Qt view, on the screen.
struct QtMain {
    explicit QtMain(Platform& platform) : window(platform, toolkit), view(ViewOf(window)) {
        window.Show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&view));
    }
    ~QtMain() {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (widget != &view && widget->isVisible()) widget->close();
    }
    QComboBox& combo() const { return *view.ControlAs<QComboBox>(cbxDrives); }
    EntryListView& list() const { return *view.ControlAs<EntryListView>(lstFiles); }
    QLabel& label(int control) const { return *view.ControlAs<QLabel>(control); }
    // Chooses a drive as the user does: the combo's list, then the entry.
    void Choose(const QString& drive) {
        const int index = combo().findText(drive);
        ASSERT_GE(index, 0) << drive.toStdString();
        combo().setCurrentIndex(index);
        emit combo().activated(index);
    }
    void Click(int button) {
        auto* toolbar = view.ControlAs<QToolBar>(Toolbar1);
        QWidget* widget = toolbar->widgetForAction(view.ToolbarAction(ToolbarButton(button)));
        ASSERT_NE(widget, nullptr);
        QTest::mouseClick(widget, Qt::LeftButton);
    }
    void ClickEntry(int row) { QTest::mouseClick(list().viewport(), Qt::LeftButton, {}, list().EntryRect(row).center()); }

    qt::QtToolkit toolkit;
    FrmMain window;
    QtWindow& view;
};

// Runs the application's event loop as the program does: until its last window is closed, or
// half a minute has passed should that never happen.
void RunTheEventLoop() {
    QTimer safetyNet;
    safetyNet.setSingleShot(true);
    QObject::connect(&safetyNet, &QTimer::timeout, qApp, &QCoreApplication::quit);
    safetyNet.start(30000);
    QApplication::exec();
}

TEST(QtMainWindow, IsBuiltFromItsLayoutWithEveryControlInPlace) {
    FakePlatform platform;
    QtMain main(platform);
    EXPECT_EQ(main.view.windowTitle(), "Kelvara - Tobrin");
    EXPECT_EQ(main.view.size(), QSize(443, 385));
    EXPECT_EQ(main.view.minimumSize(), main.view.maximumSize()) << "a fixed border";
    EXPECT_EQ(main.combo().count(), 1);
    EXPECT_EQ(main.combo().currentText(), "Select Drive");
    EXPECT_EQ(main.label(lblSectors).text(), "0");
    EXPECT_EQ(main.label(lblStatus).text(), "Ready");
    EXPECT_EQ(main.label(Label1).text(), "Sector Current / Total");
    EXPECT_EQ(main.label(lblSectors).parentWidget(), main.view.Control(Frame1));
    EXPECT_EQ(main.list().geometry(), QRect(8, 224, 169, 121));
    EXPECT_EQ(main.view.ControlAs<QProgressBar>(Progress)->maximum(), 100);
    EXPECT_EQ(main.view.ControlAs<QPushButton>(btnSaveAll)->text(), "Save All");

    // The browser pane: hidden, clipped to 272 - 17 square minus the border. The page starts at
    // the opening's corner and is drawn so the whole 256-pixel photo fits the 251 inside.
    QWidget* pane = main.view.Control(picBox);
    ASSERT_NE(pane, nullptr);
    EXPECT_TRUE(pane->isHidden());
    EXPECT_EQ(pane->geometry(), QRect(184, 120, 255, 255));
    auto* browser = main.view.ControlAs<QWebEngineView>(WB2);
    EXPECT_EQ(browser->pos(), QPoint(0, 0));
    EXPECT_EQ(browser->size(), QSize(272, 272));
    EXPECT_DOUBLE_EQ(browser->zoomFactor(), 251.0 / 256);
    // The frame's line runs below the drive combo, not across it.
    auto* frame = main.view.ControlAs<QFrame>(Frame1);
    EXPECT_GT(frame->y() + frame->frameRect().top(), main.combo().geometry().bottom());
    EXPECT_EQ(main.label(Image1).pixmap().toImage(), qt::ListImage(ImageListId::ImageList2, 1).toImage());

    const char* captions[] = {"", "", "Scan", "", "Options", "", "Help", "", "About", "", "Image Disk", "", "Disk Wipe"};
    auto* toolbar = main.view.ControlAs<QToolBar>(Toolbar1);
    for (int i = 1; i <= 13; ++i) {
        QAction* action = main.view.ToolbarAction(ToolbarButton(i));
        ASSERT_NE(action, nullptr);
        EXPECT_EQ(action->isSeparator(), captions[i - 1][0] == 0) << i;
        if (!action->isSeparator()) {
            EXPECT_EQ(action->text(), captions[i - 1]);
            EXPECT_EQ(toolbar->widgetForAction(action)->size(), QSize(59, 68));
        }
    }
}

// Clicks as a person makes them. The entry the scan left selected previews on a click, and
// again on the next (a retry); a click that moves the selection previews once, as does a key;
// a click below the last entry leaves the chosen entry chosen.
TEST(QtMainWindow, EveryClickOnAnEntryPreviewsItOnce) {
    testing::TempDir dir;
    const auto card = testing::MakePhotoCard(dir.file("card.img"), 6);
    PosixPlatform::Options options;
    options.images.push_back({card.image});
    options.home = dir.path();
    PosixPlatform platform(options);
    Messages messages;
    QtMain main(platform);
    main.Choose("D:\\");
    main.Click(3);
    ASSERT_EQ(main.list().count(), 6);
    ASSERT_EQ(main.list().currentRow(), 5);  // the newest, selected by the scan
    EXPECT_EQ(main.window.PreviewCount(), 0);
    main.ClickEntry(5);
    EXPECT_EQ(main.window.PreviewCount(), 1);
    main.ClickEntry(5);
    EXPECT_EQ(main.window.PreviewCount(), 2);
    main.ClickEntry(2);
    EXPECT_EQ(main.list().currentRow(), 2);
    EXPECT_EQ(main.window.PreviewCount(), 3);
    EXPECT_EQ(testing::ReadFileBytes(PreviewTempFolder(platform) + "TB.jpg"), card.photos[2].bytes);
    EXPECT_FALSE(main.view.Control(picBox)->isHidden());
    EXPECT_TRUE(main.label(Image1).isHidden());
    QTest::keyClick(&main.list(), Qt::Key_Down);
    EXPECT_EQ(main.list().currentRow(), 3);
    EXPECT_EQ(main.window.PreviewCount(), 4);
    EXPECT_EQ(main.label(lblStatus).text(), "Ready");
    {
        // Enter in the list presses no button of the window: it would start Save All.
        testing::DestinationAnswer cancel(main.window, "");
        QTest::keyClick(&main.list(), Qt::Key_Return);
        EXPECT_EQ(cancel.answered(), 0);
    }
    const QPoint below(main.list().EntryRect(5).center().x(), main.list().EntryRect(5).bottom() + 3);
    ASSERT_TRUE(main.list().viewport()->rect().contains(below));
    QTest::mouseClick(main.list().viewport(), Qt::LeftButton, {}, below);
    EXPECT_EQ(main.list().currentRow(), 3);
    EXPECT_EQ(main.list().selectionModel()->selectedRows(), QModelIndexList{main.list().currentIndex()});
    EXPECT_EQ(main.window.PreviewCount(), 4);
}

// The list over the table: tens of thousands of entries named as they are drawn, the newest
// scrolled into sight.
TEST(QtMainWindow, TheListShowsThousandsOfEntriesWithTheNewestInSight) {
    Messages messages;
    FakePlatform platform;
    constexpr int kSectors = 30000;
    auto& volume = platform.AddVolume('E', kSectors);
    for (int sector = 0; sector < kSectors; ++sector) {
        volume[std::size_t(sector) * 512] = 0xFF;
        volume[std::size_t(sector) * 512 + 1] = 0xD8;
    }
    QtMain main(platform);
    main.Choose("E:\\");
    main.Click(3);
    ASSERT_EQ(main.list().count(), kSectors);
    EXPECT_EQ(main.list().EntryText(kSectors - 1), "Image30000.JPG");
    EXPECT_EQ(main.list().currentRow(), kSectors - 1);
    EXPECT_TRUE(main.list().viewport()->rect().intersects(main.list().EntryRect(kSectors - 1)));
    EXPECT_EQ(main.window.PreviewCount(), 0);
}

// A person choosing another drive while a card is scanned, with the keys and the mouse: the
// combo looks unavailable and takes nothing, so the scan reads only the card it started on.
TEST(QtMainWindow, TheDriveComboIsLockedWhileAScanRunsAndTheScanKeepsItsCard) {
    Messages messages;
    FakePlatform platform;
    auto& card = platform.AddVolume('E', 20000);  // read in 50 runs of 400 sectors
    card[512 * 100] = 0xFF;
    card[512 * 100 + 1] = 0xD8;
    platform.AddVolume('F', 30000);
    QtMain main(platform);
    main.Choose("E:\\");
    platform.onCall = [](const std::string& call) {
        if (call.rfind("ReadFile", 0) == 0) QThread::msleep(20);
    };
    bool triedMidScan = false, lockedMidScan = false;
    QTimer::singleShot(0, &main.view, [&] {
        triedMidScan = main.window.IsBusy();
        lockedMidScan = !main.combo().isEnabled() && !main.view.ToolbarAction(ToolbarButton(3))->isEnabled();
        main.combo().setFocus();
        QTest::keyClick(&main.combo(), Qt::Key_Down);
        QTest::mouseClick(&main.combo(), Qt::LeftButton);
        QTest::keyClick(&main.combo(), Qt::Key_Down);
        QTest::keyClick(&main.combo(), Qt::Key_Return);
        lockedMidScan = lockedMidScan && !main.combo().view()->isVisible();
    });
    main.Click(3);
    platform.onCall = nullptr;

    ASSERT_TRUE(triedMidScan) << "the scan ended before the drive could be chosen";
    EXPECT_TRUE(lockedMidScan);
    EXPECT_EQ(main.combo().currentText(), "E:\\");
    EXPECT_EQ(main.label(lblSectors).text(), "20000");
    for (const std::string& call : platform.CallsNamed("CreateFileA")) EXPECT_EQ(call.find("F:"), std::string::npos) << call;
    EXPECT_EQ(messages.Texts(), std::vector<std::string>{"Kelvara's found 1 Files"});
    EXPECT_TRUE(main.combo().isEnabled()) << "unlocked when the scan ends";
}

// A slow card: every read takes a fifth of a second, the whole scan ten. Closing the window
// mid-scan stops the scan at its next read; the program (its event loop) ends within a second
// of the close, and no message is left for nobody to read.
TEST(QtMainWindow, ClosingTheWindowMidScanEndsTheProgramWithinASecond) {
    Messages messages;
    FakePlatform platform;
    platform.AddVolume('E', 20000);
    QtMain main(platform);
    main.Choose("E:\\");
    platform.onCall = [&](const std::string& call) {
        if (call.rfind("ReadFile", 0) == 0) QThread::msleep(200);
    };
    QElapsedTimer sinceClose;
    QTimer::singleShot(0, &main.view, [&] { main.Click(3); });
    QTimer::singleShot(700, &main.view, [&] {
        EXPECT_TRUE(main.window.IsBusy());
        sinceClose.start();
        main.view.close();
    });
    RunTheEventLoop();
    const qint64 afterClose = sinceClose.isValid() ? sinceClose.elapsed() : -1;
    platform.onCall = nullptr;
    ASSERT_GE(afterClose, 0) << "the window was not closed during the scan";
    EXPECT_LT(afterClose, 1000);
    EXPECT_FALSE(main.view.isVisible());
    EXPECT_FALSE(main.window.IsBusy());
    EXPECT_TRUE(messages.shown().empty());
}

TEST(QtMainWindow, AnArgumentThatCanHoldNoCardIsRefusedAtStart) {
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

// --- Options, with the keys -----------------------------------------------------------------------

TEST(QtOptions, OpensOnOkTabsToCancelThenTheBoxAndEnterKeepsWhatWasTyped) {
    FakePlatform platform;
    QtMain main(platform);
    enum class Into { ByTab, ByClick };
    // Opens Options, goes into its box, types `text` and presses `key`; true when it closed.
    const auto typeAndPress = [&](Into into, const char* text, Qt::Key key) {
        main.Click(5);
        QtWindow* dialog = nullptr;
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* window = qobject_cast<QtWindow*>(widget); window && window->isVisible() && window->windowTitle() == "Options")
                dialog = window;
        EXPECT_NE(dialog, nullptr);
        if (!dialog) return false;
        dialog->activateWindow();
        EXPECT_TRUE(WaitFor([&] { return QApplication::activeWindow() == dialog; }, 2000));
        EXPECT_EQ(QApplication::focusWidget(), dialog->Control(ids::frm_options::cmdOK));
        auto* box = dialog->ControlAs<QLineEdit>(ids::frm_options::txtPreFix);
        if (into == Into::ByTab) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            EXPECT_EQ(QApplication::focusWidget(), dialog->Control(ids::frm_options::cmdCancel));
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        } else {
            QTest::mouseClick(box, Qt::LeftButton);
        }
        EXPECT_EQ(QApplication::focusWidget(), box);
        QTest::keyClicks(box, text);
        QTest::keyClick(box, key);
        return !dialog->isVisible();
    };
    EXPECT_TRUE(typeAndPress(Into::ByTab, "Pic", Qt::Key_Return));
    EXPECT_EQ(main.window.Prefix, "Pic");
    EXPECT_TRUE(typeAndPress(Into::ByClick, "Holiday", Qt::Key_Enter));  // the keypad's
    EXPECT_EQ(main.window.Prefix, "Holiday");
    EXPECT_TRUE(typeAndPress(Into::ByClick, "Other", Qt::Key_Escape));
    EXPECT_EQ(main.window.Prefix, "Holiday");

    // The card's own names: a real check box, ticked by a click, kept by OK.
    main.Click(5);
    QtWindow* dialog = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* window = qobject_cast<QtWindow*>(widget); window && window->isVisible() && window->windowTitle() == "Options")
            dialog = window;
    ASSERT_NE(dialog, nullptr);
    auto* tick = dialog->ControlAs<QCheckBox>(ids::frm_options::chkCardNames);
    ASSERT_NE(tick, nullptr);
    EXPECT_EQ(tick->text(), "Use the card's own names where known");
    EXPECT_FALSE(tick->isChecked());
    QTest::mouseClick(tick, Qt::LeftButton);
    EXPECT_TRUE(tick->isChecked());
    QTest::mouseClick(dialog->Control(ids::frm_options::cmdOK), Qt::LeftButton);
    EXPECT_TRUE(main.window.CardNames);
}

TEST(QtOptions, TwoDialogsStepAsideAndBelongToTheMainWindow) {
    FakePlatform platform;
    QtMain main(platform);
    main.Click(5);
    main.Click(5);
    main.Click(9);
    std::vector<QtWindow*> options;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* window = qobject_cast<QtWindow*>(widget); window && window->isVisible() && window->windowTitle() == "Options")
            options.push_back(window);
    ASSERT_EQ(options.size(), 2u);
    EXPECT_NE(options[0]->pos(), options[1]->pos());
    EXPECT_EQ(options[0]->size(), QSize(276, 104));
    for (const QtWindow* dialog : options) {
        ASSERT_NE(dialog->windowHandle(), nullptr);
        EXPECT_EQ(dialog->windowHandle()->transientParent(), main.view.windowHandle());
    }
}

// --- the destination dialogs, with the mouse and the keys ------------------------------------------

// As a person chooses: a single click highlights a folder and OK takes it; a double click opens
// one. The title is whole beside the frame's buttons.
TEST(QtSaveFolder, OkTakesTheHighlightedFolderAndADoubleClickOpensOne) {
    FakePlatform platform;
    platform.drives['C'].type = DRIVE_FIXED;
    platform.folders.insert("C:\\Work");
    platform.folders.insert("C:\\Work\\Old");
    qt::QtToolkit toolkit;
    std::string Folder;
    bool ffdone = false;
    SaveFolder dialog(platform, toolkit, Folder, ffdone, nullptr);
    dialog.Show();
    QtWindow& view = ViewOf(dialog);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    auto* list = view.ControlAs<QListWidget>(ids::save_folder::Dir1);
    const auto at = [list](const QString& label) {
        const auto found = list->findItems(label, Qt::MatchExactly);
        EXPECT_EQ(found.size(), 1) << label.toStdString();
        return found.isEmpty() ? QPoint() : list->visualItemRect(found[0]).center();
    };
    const QPoint work = at("  Work");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, work);  // a double click's first click
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, work);
    ASSERT_EQ(dialog.Dir1.path(), "C:\\Work");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at("    Old"));  // highlighted only
    EXPECT_EQ(dialog.Dir1.path(), "C:\\Work");
    // Enter in the list opens the highlighted folder, and does not press OK.
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_EQ(dialog.Dir1.path(), "C:\\Work\\Old");
    EXPECT_FALSE(ffdone);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at("  Work"));
    QTest::mouseClick(view.Control(ids::save_folder::OKButton), Qt::LeftButton);
    EXPECT_EQ(Folder, "C:\\Work");
    EXPECT_TRUE(ffdone);
    EXPECT_FALSE(view.isVisible());

    // Its title in the bold face a frame uses, beside an icon and three buttons, fits.
    SaveFolder again(platform, toolkit, Folder, ffdone, nullptr);
    QFont bold = QApplication::font();
    bold.setBold(true);
    QtWindow& wide = ViewOf(again);
    EXPECT_GE(wide.width(), QFontMetrics(bold).horizontalAdvance(wide.windowTitle()) + 4 * 20);
    for (QWidget* control : wide.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        EXPECT_TRUE(wide.rect().contains(control->geometry())) << control->metaObject()->className();
}

// --- About and Help --------------------------------------------------------------------------------

TEST(QtAbout, ShowsItsPicturesAndAnEtchedLineAndEscapeCloses) {
    FakePlatform platform;
    qt::QtToolkit toolkit;
    frmAbout about(platform, toolkit);
    about.Show();
    QtWindow& view = ViewOf(about);
    namespace ab = ids::frm_about;
    EXPECT_EQ(view.windowTitle(), "About Kelvara");
    EXPECT_EQ(view.ControlAs<QLabel>(ab::Image1)->pixmap().toImage(), qt::ListImage(ImageListId::ImageList2, 4).toImage());
    EXPECT_EQ(view.ControlAs<QLabel>(ab::Image2)->pixmap().toImage(), qt::ListImage(ImageListId::ImageList2, 5).toImage());
    EXPECT_TRUE(view.ControlAs<QLabel>(ab::Label1)->font().bold());
    const QImage line = view.Control(ab::Line1)->grab().toImage();
    EXPECT_EQ(line.pixelColor(line.width() / 2, 0), QColor(128, 128, 128));
    EXPECT_EQ(line.pixelColor(line.width() / 2, 1), QColor(255, 255, 255));
    EXPECT_TRUE(view.ControlAs<QPushButton>(ab::cmdOK)->isDefault());
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(&view, &escape);
    EXPECT_TRUE(about.closed());
    EXPECT_FALSE(view.isVisible());
}

TEST(QtHelp, EachWindowLoadsTheQuickStartPageWithoutANetwork) {
    qt::QtToolkit toolkit;
    FrmBrowser first(toolkit), second(toolkit);
    first.Show();
    second.Show();
    int finished = 0;
    bool allOk = true;
    auto* browser = ViewOf(first).ControlAs<QWebEngineView>(ids::frm_browser::WB);
    for (FrmBrowser* window : {&first, &second})
        QObject::connect(ViewOf(*window).ControlAs<QWebEngineView>(ids::frm_browser::WB), &QWebEngineView::loadFinished,
                         &ViewOf(*window), [&](bool ok) {
                             ++finished;
                             allOk = allOk && ok;
                         });
    ASSERT_TRUE(WaitFor([&] { return finished >= 2; }, 60000)) << "the page did not finish loading";
    EXPECT_TRUE(allOk);
    EXPECT_EQ(browser->size(), ViewOf(first).size()) << "the browser fills the window";
    ViewOf(first).resize(640, 480);
    QCoreApplication::processEvents();
    EXPECT_EQ(browser->size(), QSize(640, 480));

    // Compiled into the program: nothing is looked for in the folder it was built in.
    EXPECT_EQ(browser->url().scheme(), "qrc");
    EXPECT_TRUE(browser->url().path().endsWith("/quickstart.htm"));
    EXPECT_EQ(browser->title(), "Kelvara Quick Start");

    QString text;
    browser->page()->toPlainText([&](const QString& result) { text = result; });
    ASSERT_TRUE(WaitFor([&] { return !text.isEmpty(); }, 10000));
    for (const char* topic : {"drive", "Scan", "Preview", "Save All", "Image Disk", "Disk Wipe", "Options",
                              // what a user of the Linux program needs to know
                              "C:\\", "home folder", "D:\\", "Z:\\", "command line", "kelvara card.img",
                              "must be mounted", "Never save photos onto the card you are recovering from"})
        EXPECT_TRUE(text.contains(topic)) << "the page says nothing about " << topic;
    EXPECT_FALSE(text.contains("Explorer")) << "the Windows passages are left out";

    // Its pictures come along with it.
    QVariant pictures;
    browser->page()->runJavaScript(
        "Array.from(document.images).filter(i => i.complete && i.naturalWidth > 0).length + '/' + "
        "document.images.length",
        [&](const QVariant& result) { pictures = result; });
    ASSERT_TRUE(WaitFor([&] { return pictures.isValid(); }, 10000));
    EXPECT_EQ(pictures.toString(), "5/5");
}

TEST(QtHelp, ACopyOfTheProgramElsewhereShowsThePageToo) {
    testing::TempDir dir;
    const QString copy = QString::fromStdString(dir.file("copied_program"));
    ASSERT_TRUE(QFile::copy(QCoreApplication::applicationFilePath(), copy));
    const auto child = testing::RunChildTest("QtHelp.EachWindowLoadsTheQuickStartPageWithoutANetwork",
                                             QProcessEnvironment::systemEnvironment(), copy);
    EXPECT_TRUE(child.passed) << child.output.toStdString();
}

// --- the preview's browser engine -----------------------------------------------------------------

class QtPreview : public ::testing::Test {
protected:
    void SetUp() override {
        card = testing::MakePhotoCard(dir.file("card.img"), 6);
        PosixPlatform::Options options;
        options.images.push_back({card.image});
        options.home = dir.path();
        platform = std::make_unique<PosixPlatform>(options);
        main = std::make_unique<QtMain>(*platform);
        main->Choose("D:\\");
        Messages quiet;
        main->Click(3);
        ASSERT_EQ(main->list().count(), 6);
    }
    QWebEngineView& Browser() { return *main->view.ControlAs<QWebEngineView>(WB2); }

    testing::TempDir dir;
    testing::TestCard card;
    std::unique_ptr<PosixPlatform> platform;
    std::unique_ptr<QtMain> main;
};

// What the pane's page answers to a script, run once it has loaded.
QVariant PaneAnswer(QWebEngineView& browser, const QString& script) {
    QVariant answer;
    QEventLoop loop;
    browser.page()->runJavaScript(script, [&](const QVariant& result) {
        answer = result;
        loop.quit();
    });
    QTimer::singleShot(15000, &loop, &QEventLoop::quit);
    loop.exec();
    return answer;
}

// Waits for the pane to load the page the preview wrote; the width of the picture it shows, as
// the browser engine decoded it (-1 without one).
int ShownWidth(QWebEngineView& browser) {
    QEventLoop loop;
    QObject::connect(&browser, &QWebEngineView::loadFinished, &loop, &QEventLoop::quit);
    QTimer::singleShot(15000, &loop, &QEventLoop::quit);
    loop.exec();
    return PaneAnswer(browser, "document.images.length ? document.images[0].naturalWidth : -1").toInt();
}

TEST_F(QtPreview, EachPreviewShowsTheNewPhotoNotACachedOne) {
    const auto loaded = [&] { return ShownWidth(Browser()); };
    main->ClickEntry(0);
    EXPECT_EQ(loaded(), 96);  // the photos are drawn 96 + 37 i pixels wide
    main->ClickEntry(1);
    EXPECT_EQ(loaded(), 133);
    main->ClickEntry(0);
    EXPECT_EQ(loaded(), 96);
}

// Every format as far as the browser engine shows it: a RAW's largest JPEG, a HEIC decoded, a
// clip in a page that plays it and tells its size and length.
TEST(QtPreviewFormats, EachFormatShowsAsTheBrowserEngineCanShowIt) {
    testing::TempDir dir;
    const std::string image = dir.file("card.img");
    testing::MakeFatImage(image, 32, 140000);
    const auto files = testing::EveryFormatFiles(dir.path());
    std::map<std::string, std::int64_t> startOf;
    std::int64_t next = testing::ReadGeometryWithMinfo(image).dataStartSector;
    for (const testing::FormatFile& file : files) {
        startOf[file.extension] = next;
        next = testing::LayFiles(image, next, {file.bytes});
    }
    PosixPlatform::Options options;
    options.images.push_back({image});
    options.home = dir.path();
    PosixPlatform platform(options);
    QtMain main(platform);
    main.Choose("D:\\");
    {
        Messages quiet;
        main.Click(3);
    }
    QWebEngineView& browser = *main.view.ControlAs<QWebEngineView>(WB2);
    const auto show = [&](const std::string& extension) {
        for (std::int64_t row = 0; row < main.list().count(); ++row)
            if (main.window.FoundPhotoTable[static_cast<std::size_t>(row)].StartSector == startOf[extension]) {
                main.ClickEntry(static_cast<int>(row));
                return ShownWidth(browser);
            }
        ADD_FAILURE() << extension << " is not listed";
        return -2;
    };
    EXPECT_EQ(show(".DNG"), 160);
    const bool decoder = formats::HeifToJpeg({}, 1).error.find("no HEIC/AVIF decoder") == std::string::npos;
    if (startOf.count(".HEIC") && decoder) {
        EXPECT_EQ(show(".HEIC"), 320);
    }
    if (startOf.count(".MP4")) {
        EXPECT_EQ(show(".MP4"), -1);
        EXPECT_EQ(PaneAnswer(browser, "document.body.innerText").toString(), "320 x 240, 0:02");
        EXPECT_EQ(PaneAnswer(browser, "document.querySelectorAll('video').length").toInt(), 1);
    }
    EXPECT_EQ(main.label(lblStatus).text(), "Ready");
}

// As root, with no sandbox setting in the environment, the program itself lets the browser
// engine start: a preview shows the photo, and nothing alarming is printed.
TEST_F(QtPreview, AsRootAPreviewWorksWithNoSandboxSettingInTheEnvironment) {
    if (!qt::RunningAsRoot()) GTEST_SKIP() << "only root meets the engine's refusal";
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("QTWEBENGINE_DISABLE_SANDBOX");
    environment.remove("QTWEBENGINE_CHROMIUM_FLAGS");
    const auto child = testing::RunChildTest("QtPreview.EachPreviewShowsTheNewPhotoNotACachedOne", environment);
    EXPECT_TRUE(child.passed) << child.output.toStdString();
    for (const char* alarming : {"sandbox", "Sandbox", "qt.webenginecontext"})
        EXPECT_FALSE(child.output.contains(alarming)) << child.output.toStdString();
}

// The browser's drawing surface, made late, makes the window system build the whole window anew:
// it shows black for a moment at the first preview. Only a real window system shows that, so
// the test runs itself again under a virtual X server.
TEST_F(QtPreview, TheFirstPreviewKeepsTheWindowItWasShownIn) {
    if (QGuiApplication::platformName() != "xcb") {
        testing::XServer x;
        if (!x.unavailable().isEmpty()) GTEST_SKIP() << x.unavailable().toStdString();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DISPLAY", x.display());
        environment.insert("QT_QPA_PLATFORM", "xcb");
        const auto child = testing::RunChildTest("QtPreview.TheFirstPreviewKeepsTheWindowItWasShownIn", environment);
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
    QWindow* const shownIn = main->view.windowHandle();
    shownIn->installEventFilter(&watch);
    QSignalSpy loaded(&Browser(), &QWebEngineView::loadFinished);
    main->ClickEntry(0);
    ASSERT_EQ(main->window.PreviewCount(), 1);
    EXPECT_TRUE(loaded.count() > 0 || loaded.wait(15000));
    QTest::qWait(100);
    EXPECT_EQ(watch.destroyed, 0) << "the window was built anew";
    EXPECT_EQ(main->view.windowHandle(), shownIn);
    EXPECT_FALSE(main->view.Control(picBox)->isHidden());
}

// Save All through the real buttons and the real destination dialog.
TEST_F(QtPreview, SaveAllThroughTheRealDialogWritesEveryPhoto) {
    std::filesystem::create_directory(dir.file("Out"));
    Messages messages;
    testing::DestinationAnswer answer(main->window, "C:\\Out");
    QTest::mouseClick(main->view.Control(btnSaveAll), Qt::LeftButton);
    EXPECT_EQ(answer.answered(), 1);
    for (std::size_t i = 0; i < card.photos.size(); ++i) {
        const std::string name = "Image00" + std::to_string(i + 1) + (card.photos[i].gif ? ".GIF" : ".JPG");
        EXPECT_EQ(testing::ReadFileBytes(dir.file("Out/" + name)), card.photos[i].bytes) << name;
    }
    EXPECT_TRUE(messages.shown().empty());
}

}  // namespace
}  // namespace kelvara
