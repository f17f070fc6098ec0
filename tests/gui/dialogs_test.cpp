// The Options, About and Help windows, driven through their real controls on the offscreen
// platform; the registry, the file test and the program start come from the recording double.

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QThread>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <functional>
#include <string>
#include <vector>

#include "dialogs/frm_about.h"
#include "dialogs/frm_browser.h"
#include "dialogs/frm_options.h"
#include "dialogs/get_key_value.h"
#include "dialogs/program_version.h"
#include "resources/image_lists.h"
#include "tests/gui_main/child_test.h"
#include "tests/gui_main/message_answers.h"
#include "tests/support/fake_platform.h"
#include "tests/support/temp_dir.h"
#include "ui/message_box.h"

namespace kelvara {
namespace {

using testing::FakePlatform;

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

// Lets deleteLater and close-on-delete run.
void Settle() {
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void PressKey(QWidget* target, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(target, &release);
}

using Messages = testing::MessageAnswers;

std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

// --- Options -------------------------------------------------------------------------------------

class OptionsTest : public ::testing::Test {
protected:
    void TearDown() override {
        frmOptions::SetScreenGeometry(std::nullopt);
        for (auto& dialog : opened_)
            if (dialog) dialog->close();
        Settle();
    }
    frmOptions* Open() {
        auto* dialog = new frmOptions(prefix);
        dialog->show();
        opened_.push_back(dialog);
        return dialog;
    }

    std::string prefix = "Image";
    Messages messages;

private:
    std::vector<QPointer<frmOptions>> opened_;
};

TEST_F(OptionsTest, OpensWithFocusOnOkAndTabsToCancelThenTheBox) {
    frmOptions* dialog = Open();
    EXPECT_EQ(dialog->minimumSize(), dialog->maximumSize()) << "a fixed dialog border";
    dialog->activateWindow();
    ASSERT_TRUE(WaitFor([&] { return QApplication::activeWindow() == dialog; }, 2000));
    EXPECT_EQ(QApplication::focusWidget(), dialog->cmdOK);
    PressKey(dialog->cmdOK, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), dialog->cmdCancel);
    PressKey(dialog->cmdCancel, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), dialog->txtPreFix);
}

TEST_F(OptionsTest, OkAppliesATypedPrefixAndAnEmptyBoxKeepsTheOldOne) {
    QPointer<frmOptions> typed = Open();
    typed->txtPreFix->setText("Holiday 2024-");
    typed->cmdOK->click();
    Settle();
    EXPECT_EQ(prefix, "Holiday 2024-");
    EXPECT_TRUE(typed.isNull()) << "the dialog is destroyed when it closes";

    QPointer<frmOptions> empty = Open();
    empty->cmdOK->click();
    Settle();
    EXPECT_EQ(prefix, "Holiday 2024-");
    EXPECT_TRUE(empty.isNull());
    EXPECT_TRUE(messages.shown().empty());
}

// As people type: into the box by Tab (past Cancel) or by a click, then Enter. Enter is OK
// wherever the focus is; Escape is Cancel.
TEST_F(OptionsTest, EnterKeepsTheTypedPrefixAndEscapeDropsIt) {
    enum class Into { ByTab, ByClick };
    // Opens a dialog, goes into its box, types `text` and presses `key`; true when it closed.
    const auto typeAndPress = [&](Into into, const char* text, Qt::Key key) {
        QPointer<frmOptions> dialog = Open();
        dialog->activateWindow();
        EXPECT_TRUE(WaitFor([&] { return QApplication::activeWindow() == dialog; }, 2000));
        if (into == Into::ByTab) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        } else {
            QTest::mouseClick(dialog->txtPreFix, Qt::LeftButton);
        }
        EXPECT_EQ(QApplication::focusWidget(), dialog->txtPreFix);
        QTest::keyClicks(dialog->txtPreFix, text);
        QTest::keyClick(dialog->txtPreFix, key);
        Settle();
        return dialog.isNull();
    };
    EXPECT_TRUE(typeAndPress(Into::ByTab, "Pic", Qt::Key_Return));
    EXPECT_EQ(prefix, "Pic");
    EXPECT_TRUE(typeAndPress(Into::ByClick, "Holiday", Qt::Key_Enter));  // the keypad's
    EXPECT_EQ(prefix, "Holiday");
    EXPECT_TRUE(typeAndPress(Into::ByClick, "Other", Qt::Key_Escape));
    EXPECT_EQ(prefix, "Holiday");
    EXPECT_TRUE(messages.shown().empty());
}

TEST_F(OptionsTest, RefusesAPrefixNoFileNameMayHoldAndStaysOpen) {
    frmOptions* dialog = Open();
    const QString refused[] = {"a\\b", "a/b", "C:", "*",     "why?",        "say\"hi\"",
                               "<x",   "x>",  "a|b", "tab\t", QString("\x01"), QString(QChar(0x85))};
    for (const QString& text : refused) {
        dialog->txtPreFix->setText(text);
        const auto before = messages.shown().size();
        dialog->cmdOK->click();
        Settle();
        ASSERT_EQ(messages.shown().size(), before + 1) << "no message for " << text.toStdString();
        EXPECT_TRUE(dialog->isVisible()) << text.toStdString();
        EXPECT_EQ(prefix, "Image") << text.toStdString();
    }
    EXPECT_TRUE(messages.shown().back().text.contains("prefix"));
    EXPECT_EQ(messages.shown().back().buttons, MessageBox::Buttons::Ok);

    // Fixing the text and pressing OK again is enough.
    dialog->txtPreFix->setText("Card_A");
    dialog->cmdOK->click();
    Settle();
    EXPECT_EQ(prefix, "Card_A");
}

TEST_F(OptionsTest, TwoDialogsLiveSideBySideAndCancelOrEscapeChangeNothing) {
    QPointer<frmOptions> first = Open();
    first->txtPreFix->setText("First");
    QPointer<frmOptions> escaped = Open();
    EXPECT_TRUE(escaped->txtPreFix->text().isEmpty()) << "a new dialog never inherits earlier typing";
    escaped->txtPreFix->setText("Other");
    PressKey(escaped, Qt::Key_Escape);
    QPointer<frmOptions> cancelled = Open();
    cancelled->txtPreFix->setText("Other");
    cancelled->cmdCancel->click();
    Settle();
    EXPECT_TRUE(escaped.isNull());
    EXPECT_TRUE(cancelled.isNull());
    EXPECT_EQ(prefix, "Image");

    ASSERT_FALSE(first.isNull()) << "closing one dialog leaves the other open and unchanged";
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(first->txtPreFix->text(), "First");
    first->cmdOK->click();
    Settle();
    EXPECT_EQ(prefix, "First");
}

TEST_F(OptionsTest, CentresItselfOnTheScreen) {
    frmOptions::SetScreenGeometry(QRect(0, 0, 1024, 768));
    frmOptions* dialog = Open();
    const QSize outer = dialog->frameGeometry().size();
    EXPECT_EQ(dialog->pos(), QPoint((1024 - outer.width()) / 2, (768 - outer.height()) / 2));

    // A second screen to the right, and odd leftovers that halve to a half pixel.
    frmOptions::SetScreenGeometry(QRect(1920, 0, 1281, 1025));
    frmOptions* other = Open();
    const QPoint at = other->pos();
    EXPECT_NEAR(at.x(), 1920 + (1281 - outer.width()) / 2.0, 0.5);
    EXPECT_NEAR(at.y(), (1025 - outer.height()) / 2.0, 0.5);
    EXPECT_EQ(other->size(), QSize(276, 80)) << "only the position changes";
}

// --- GetKeyValue ---------------------------------------------------------------------------------

constexpr const char* kKey = "SOFTWARE\\Kelvara\\Test";

class GetKeyValueTest : public ::testing::Test {
protected:
    void Store(DWORD type, std::vector<std::uint8_t> data) { platform.registry[kKey]["Value"] = {type, std::move(data)}; }
    bool Read(std::string& value) { return GetKeyValue(platform, HKEY_LOCAL_MACHINE, kKey, "Value", value); }
    std::string ReadText() {
        std::string value = "before";
        EXPECT_TRUE(Read(value));
        return value;
    }

    FakePlatform platform;
};

TEST_F(GetKeyValueTest, OpensWithTheFullAccessMaskAndAlwaysClosesTheKey) {
    Store(REG_SZ, Bytes(std::string("C:\\Tools", 9)));
    EXPECT_EQ(ReadText(), "C:\\Tools");
    EXPECT_EQ(platform.CallsNamed("RegOpenKeyExA"),
              std::vector<std::string>{"RegOpenKeyExA(0x80000002, SOFTWARE\\Kelvara\\Test, 0, 0x2003F)"});
    EXPECT_EQ(platform.CallsNamed("RegQueryValueExA"), std::vector<std::string>{"RegQueryValueExA(Value, 1024)"});
    EXPECT_EQ(platform.CallsNamed("RegCloseKey").size(), 1u);
}

TEST_F(GetKeyValueTest, DropsExactlyOneTrailingZeroByte) {
    Store(REG_SZ, Bytes(std::string("abc", 4)));
    EXPECT_EQ(ReadText(), "abc");
    Store(REG_SZ, Bytes("abc"));
    EXPECT_EQ(ReadText(), "abc") << "a value stored without its terminator keeps all its bytes";
    Store(REG_SZ, Bytes(std::string("ab\0\0", 4)));
    EXPECT_EQ(ReadText(), std::string("ab\0", 3));
    Store(REG_SZ, {});
    EXPECT_EQ(ReadText(), "") << "an empty text counts as read";
    Store(REG_SZ, {0});
    EXPECT_EQ(ReadText(), "");
}

TEST_F(GetKeyValueTest, ReadsUpTo1024BytesAndNoMore) {
    std::string longest(1023, 'x');
    Store(REG_SZ, Bytes(longest + '\0'));
    EXPECT_EQ(ReadText(), longest);

    Store(REG_SZ, Bytes(std::string(1025, 'y')));
    std::string value = "before";
    EXPECT_FALSE(Read(value));
    EXPECT_EQ(value, "");
    EXPECT_EQ(platform.CallsNamed("RegCloseKey").size(), 2u) << "the key is closed after a failed read too";
}

TEST_F(GetKeyValueTest, NumbersComeBackAsHexadecimalAndOtherTypesAsTheyWere) {
    const std::pair<std::uint32_t, std::string> cases[] = {
        {0x1A2B, "&h1A2B"}, {0x12345678, "&h12345678"}, {0x0105, "&h105"}, {0, "&h0"}, {0xFFFFFFFF, "&hFFFFFFFF"}};
    for (const auto& [number, text] : cases) {
        Store(REG_DWORD, {std::uint8_t(number), std::uint8_t(number >> 8), std::uint8_t(number >> 16),
                          std::uint8_t(number >> 24)});
        EXPECT_EQ(ReadText(), text);
    }
    Store(3 /* binary */, {1, 2, 3});
    EXPECT_EQ(ReadText(), "before") << "other types leave the text as it was but count as read";
}

TEST_F(GetKeyValueTest, FailuresGiveAnEmptyTextAndFalse) {
    std::string value = "before";
    EXPECT_FALSE(Read(value)) << "no such key";
    EXPECT_EQ(value, "");
    EXPECT_TRUE(platform.CallsNamed("RegCloseKey").empty()) << "nothing was opened, nothing to close";

    Store(REG_SZ, Bytes("x"));
    value = "before";
    EXPECT_FALSE(GetKeyValue(platform, HKEY_LOCAL_MACHINE, kKey, "Missing", value));
    EXPECT_EQ(value, "");
    EXPECT_EQ(platform.CallsNamed("RegCloseKey").size(), 1u);

    // Read rights alone are not enough: the key is opened asking for write rights too.
    platform.readOnlyKeys.insert(kKey);
    value = "before";
    EXPECT_FALSE(Read(value));
    EXPECT_EQ(value, "");
}

// --- About ---------------------------------------------------------------------------------------

constexpr const char* kPathKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
constexpr const char* kFolderKey = "SOFTWARE\\Microsoft\\Shared Tools Location";
constexpr const char* kUnavailable = "System Information Is Unavailable At This Time";

class AboutTest : public ::testing::Test {
protected:
    void TearDown() override {
        for (auto& about : opened_)
            if (about) about->close();
        Settle();
    }
    frmAbout* Open() {
        auto* about = new frmAbout(platform);
        about->show();
        opened_.push_back(about);
        return about;
    }
    void PathKey(const std::string& path) { platform.registry[kPathKey]["PATH"] = {REG_SZ, Bytes(path + '\0')}; }
    void FolderKey(const std::string& folder) {
        platform.registry[kFolderKey]["MSINFO"] = {REG_SZ, Bytes(folder + '\0')};
        platform.folders.insert(folder);
    }
    // Presses System Info in a new box; true when it said the tool is unavailable.
    bool PressSysInfoSaysUnavailable() {
        Messages messages;
        Open()->cmdSysInfo->click();
        EXPECT_LE(messages.shown().size(), 1u);
        if (messages.shown().empty()) return false;
        const auto& shown = messages.shown()[0];
        EXPECT_EQ(shown.text, kUnavailable);
        EXPECT_EQ(shown.title, "") << "the application's own title";
        EXPECT_EQ(shown.buttons, MessageBox::Buttons::Ok);
        return true;
    }
    bool Opened(const char* key) const {
        for (const auto& call : platform.CallsNamed("RegOpenKeyExA"))
            if (call.find(std::string(", ") + key + ",") != std::string::npos) return true;
        return false;
    }

    FakePlatform platform;

private:
    std::vector<QPointer<frmAbout>> opened_;
};

TEST_F(AboutTest, ShowsNameVersionDescriptionAndPictures) {
    frmAbout* about = Open();
    EXPECT_EQ(about->windowTitle(), "About Kelvara");
    EXPECT_EQ(about->Label1->text(), "Kelvara");
    // The revision is shown even when it is 0.
    EXPECT_TRUE(QRegularExpression("^Version \\d+\\.\\d+\\.\\d+$").match(about->lblVersion->text()).hasMatch())
        << about->lblVersion->text().toStdString();
    EXPECT_EQ(about->lblVersion->text(),
              QString("Version %1.%2.%3").arg(kVersionMajor).arg(kVersionMinor).arg(kVersionRevision));
    EXPECT_EQ(about->lblDescription->text(), "Fast, Easy Recovery or your Digital media" + QString(20, ' '));
    EXPECT_EQ(about->cmdSysInfo->text(), "&System Info...");
    EXPECT_TRUE(about->cmdOK->isDefault());
    EXPECT_EQ(about->focusWidget(), about->cmdOK);

    const ImageList pictures(ImageList::Which::ImageList2);
    EXPECT_EQ(about->Image1->pixmap().toImage(), pictures.ListImage(4).toImage()) << "the logo banner";
    EXPECT_EQ(about->Image2->pixmap().toImage(), pictures.ListImage(5).toImage()) << "the camera";

    const QImage line = about->Line1->grab().toImage();
    EXPECT_EQ(line.pixelColor(line.width() / 2, 0), QColor(128, 128, 128));
    EXPECT_EQ(line.pixelColor(line.width() / 2, 1), QColor(255, 255, 255));
}

TEST_F(AboutTest, OkAndEscapeCloseTheBox) {
    QPointer<frmAbout> clicked = Open();
    clicked->cmdOK->click();
    QPointer<frmAbout> escaped = Open();
    PressKey(escaped, Qt::Key_Escape);
    Settle();
    EXPECT_TRUE(clicked.isNull());
    EXPECT_TRUE(escaped.isNull());
}

TEST_F(AboutTest, TheFirstKeysPathIsStartedUntestedAndTheSecondKeyIsLeftAlone) {
    const std::string tool = "C:\\Program Files\\msinfo32.exe";
    FolderKey("C:\\Tools");
    platform.files["C:\\Tools\\MSINFO32.EXE"];
    platform.startablePrograms = {tool, "C:\\Tools\\MSINFO32.EXE"};

    PathKey(tool);
    EXPECT_FALSE(PressSysInfoSaysUnavailable());
    EXPECT_EQ(platform.startedPrograms, std::vector<std::string>{tool});

    PathKey("C:\\Gone\\msinfo32.exe");
    EXPECT_TRUE(PressSysInfoSaysUnavailable()) << "a wrong path fails at the start";
    PathKey("");
    EXPECT_TRUE(PressSysInfoSaysUnavailable()) << "an empty path is read, and cannot be started";
    EXPECT_EQ(platform.CallsNamed("StartProgram").back(), "StartProgram()");

    EXPECT_EQ(platform.startedPrograms.size(), 1u);
    EXPECT_FALSE(Opened(kFolderKey));
    EXPECT_TRUE(platform.CallsNamed("GetFileAttributesA").empty());
}

TEST_F(AboutTest, TheSecondKeyNeedsMsinfo32InItsFolder) {
    FolderKey("C:\\Tools");
    platform.startablePrograms.insert("C:\\Tools\\MSINFO32.EXE");
    EXPECT_TRUE(PressSysInfoSaysUnavailable()) << "the file is missing";
    EXPECT_TRUE(platform.CallsNamed("StartProgram").empty());

    platform.files["C:\\Tools\\MSINFO32.EXE"];
    EXPECT_FALSE(PressSysInfoSaysUnavailable());
    EXPECT_EQ(platform.startedPrograms, std::vector<std::string>{"C:\\Tools\\MSINFO32.EXE"});
    EXPECT_EQ(platform.CallsNamed("GetFileAttributesA").back(), "GetFileAttributesA(C:\\Tools\\MSINFO32.EXE)");
}

TEST_F(AboutTest, WithoutEitherKeyOrWithAKeyOnlyReadableTheToolIsUnavailable) {
    EXPECT_TRUE(PressSysInfoSaysUnavailable());

    PathKey("C:\\Program Files\\msinfo32.exe");
    platform.startablePrograms.insert("C:\\Program Files\\msinfo32.exe");
    platform.readOnlyKeys.insert(kPathKey);
    EXPECT_TRUE(PressSysInfoSaysUnavailable());
    EXPECT_TRUE(platform.startedPrograms.empty());
}

// --- Help ----------------------------------------------------------------------------------------

class HelpTest : public ::testing::Test {
protected:
    void TearDown() override {
        for (auto& window : opened_)
            if (window) window->close();
        Settle();
    }
    FrmBrowser* Open() {
        auto* window = new FrmBrowser();
        opened_.push_back(window);
        return window;
    }
    // Neither larger, which would hide the scroll bar's end and the page's last lines, nor smaller.
    static void ExpectBrowserFillsTheClientArea(FrmBrowser* window) {
        EXPECT_EQ(window->WB->pos(), QPoint(0, 0));
        EXPECT_EQ(window->WB->size(), window->size());
    }

private:
    std::vector<QPointer<FrmBrowser>> opened_;
};

TEST_F(HelpTest, TheBrowserFillsTheClientAreaAfterEveryResize) {
    FrmBrowser* window = Open();
    EXPECT_EQ(window->windowTitle(), "Help - Tobrin");
    window->show();
    ExpectBrowserFillsTheClientArea(window);
    for (const QSize size : {QSize(640, 480), QSize(200, 150), QSize(900, 300)}) {
        window->resize(size);
        QCoreApplication::processEvents();
        ExpectBrowserFillsTheClientArea(window);
    }
}

TEST_F(HelpTest, EachWindowLoadsTheQuickStartPageWithoutANetwork) {
    FrmBrowser* first = Open();
    FrmBrowser* second = Open();
    first->show();
    second->show();
    int finished = 0;
    bool allOk = true;
    for (FrmBrowser* window : {first, second})
        QObject::connect(window->WB, &QWebEngineView::loadFinished, window, [&](bool ok) {
            ++finished;
            allOk = allOk && ok;
        });
    ASSERT_TRUE(WaitFor([&] { return finished >= 2; }, 60000)) << "the page did not finish loading";
    EXPECT_TRUE(allOk);

    // Compiled into the program: nothing is looked for in the folder it was built in.
    EXPECT_EQ(first->WB->url().scheme(), "qrc");
    EXPECT_TRUE(first->WB->url().path().endsWith("/quickstart.htm"));
    EXPECT_EQ(first->WB->title(), "Kelvara Quick Start");

    QString text;
    first->WB->page()->toPlainText([&](const QString& result) { text = result; });
    ASSERT_TRUE(WaitFor([&] { return !text.isEmpty(); }, 10000));
    for (const char* topic : {"drive", "Scan", "Preview", "Save All", "Image Disk", "Disk Wipe", "Options",
                              // what a user of the Linux program needs to know
                              "C:\\", "home folder", "D:\\", "Z:\\", "command line", "kelvara card.img",
                              "must be mounted", "Never save photos onto the card you are recovering from"})
        EXPECT_TRUE(text.contains(topic)) << "the page says nothing about " << topic;

    // Its pictures come along with it.
    QVariant pictures;
    first->WB->page()->runJavaScript(
        "Array.from(document.images).filter(i => i.complete && i.naturalWidth > 0).length + '/' + "
        "document.images.length",
        [&](const QVariant& result) { pictures = result; });
    ASSERT_TRUE(WaitFor([&] { return pictures.isValid(); }, 10000));
    EXPECT_EQ(pictures.toString(), "5/5");
}

TEST_F(HelpTest, ACopyOfTheProgramElsewhereShowsThePageToo) {
    testing::TempDir dir;
    const QString copy = QString::fromStdString(dir.file("copied_program"));
    ASSERT_TRUE(QFile::copy(QCoreApplication::applicationFilePath(), copy));
    const auto child = testing::RunChildTest("HelpTest.EachWindowLoadsTheQuickStartPageWithoutANetwork",
                                             QProcessEnvironment::systemEnvironment(), copy);
    EXPECT_TRUE(child.passed) << child.output.toStdString();
}

}  // namespace
}  // namespace kelvara
