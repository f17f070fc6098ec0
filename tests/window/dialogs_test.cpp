// The Options, About and Help windows' cores on the fake toolkit, driven as the user drives
// them; the registry, the file test and the program start come from the recording double.

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/fake_platform.h"
#include "tests/window/main_window.h"
#include "window/frm_about.h"
#include "window/frm_browser.h"
#include "window/frm_options.h"
#include "window/get_key_value.h"
#include "window/help_document.h"
#include "window/program_version.h"

namespace kelvara {
namespace {

using testing::FakePlatform;
using testing::FakeToolkit;
using testing::FakeView;
using testing::ViewOf;

std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

// --- Options -------------------------------------------------------------------------------------

namespace options {
using namespace ids::frm_options;

class OptionsTest : public ::testing::Test {
protected:
    FakeView& Open() {
        opened_.push_back(std::make_unique<frmOptions>(toolkit, prefix, nullptr, std::function<void()>{}, &cardNames));
        opened_.back()->Show();
        return ViewOf(*opened_.back());
    }
    bool Closed(std::size_t i) const { return opened_[i]->closed(); }

    FakeToolkit toolkit;
    std::string prefix = "Image";
    bool cardNames = false;

private:
    std::vector<std::unique_ptr<frmOptions>> opened_;
};

TEST_F(OptionsTest, OpensWithFocusOnOkAndTabsToCancelThenTheBox) {
    const FakeView& dialog = Open();
    EXPECT_EQ(dialog.Text(0), "Options");
    EXPECT_EQ(dialog.layout().border, WindowLayout::Border::Dialog);
    EXPECT_EQ(dialog.focus(), cmdOK);
    EXPECT_EQ(dialog.layout().tabOrder, (std::vector<int>{cmdOK, cmdCancel, txtPreFix, chkCardNames}));
    EXPECT_EQ(dialog.layout().DefaultButton(), cmdOK);
    EXPECT_EQ(dialog.layout().CancelButton(), cmdCancel);
    EXPECT_EQ(dialog.layout().Find(txtPreFix)->tooltip, "Changes the name of the recovered files");
    EXPECT_EQ(dialog.Text(txtPreFix), "");
}

TEST_F(OptionsTest, OkAppliesATypedPrefixAndAnEmptyBoxKeepsTheOldOne) {
    FakeView& typed = Open();
    typed.Type(txtPreFix, "Holiday 2024-");
    typed.Click(cmdOK);
    EXPECT_EQ(prefix, "Holiday 2024-");
    EXPECT_TRUE(Closed(0)) << "the dialog closes";
    EXPECT_FALSE(typed.shown());

    Open().Click(cmdOK);
    EXPECT_EQ(prefix, "Holiday 2024-");
    EXPECT_TRUE(Closed(1));
    EXPECT_TRUE(toolkit.messages.empty());
}

// The card's names are off unless ticked; OK keeps the tick, Cancel forgets it.
TEST_F(OptionsTest, TheCardNamesBoxShowsTheChoiceAndOnlyOkKeepsIt) {
    FakeView& first = Open();
    EXPECT_EQ(first.layout().Find(chkCardNames)->caption, "Use the card's own names where known");
    EXPECT_FALSE(first.Checked(chkCardNames));
    first.Click(chkCardNames);
    first.Click(cmdCancel);
    EXPECT_FALSE(cardNames);

    FakeView& second = Open();
    second.Click(chkCardNames);
    second.Click(cmdOK);
    EXPECT_TRUE(cardNames);
    FakeView& third = Open();
    EXPECT_TRUE(third.Checked(chkCardNames)) << "a new dialog shows the choice made";
    third.Click(chkCardNames);
    third.PressEnter();
    EXPECT_FALSE(cardNames);
}

// Enter is OK wherever the focus is; Escape is Cancel.
TEST_F(OptionsTest, EnterKeepsTheTypedPrefixAndEscapeDropsIt) {
    FakeView& entered = Open();
    entered.Type(txtPreFix, "Pic");
    entered.PressEnter();
    EXPECT_EQ(prefix, "Pic");
    EXPECT_TRUE(Closed(0));

    FakeView& escaped = Open();
    escaped.Type(txtPreFix, "Other");
    escaped.PressEscape();
    EXPECT_EQ(prefix, "Pic");
    EXPECT_TRUE(Closed(1));
    EXPECT_TRUE(toolkit.messages.empty());
}

TEST_F(OptionsTest, RefusesAPrefixNoFileNameMayHoldAndStaysOpen) {
    FakeView& dialog = Open();
    const std::string refused[] = {"a\\b", "a/b", "C:",  "*",    "why?", "say\"hi\"", "<x",
                                   "x>",   "a|b", "tab\t", "\x01", "\xC2\x85", std::string(201, 'a')};
    for (const std::string& text : refused) {
        dialog.Type(txtPreFix, text);
        const auto before = toolkit.messages.size();
        dialog.Click(cmdOK);
        ASSERT_EQ(toolkit.messages.size(), before + 1) << "no message for " << text;
        EXPECT_TRUE(dialog.shown()) << text;
        EXPECT_EQ(prefix, "Image") << text;
        EXPECT_EQ(dialog.focus(), txtPreFix) << "back to the box to mend it";
    }
    EXPECT_NE(toolkit.messages.back().text.find("prefix"), std::string::npos);
    EXPECT_EQ(toolkit.messages.back().buttons, Message::Buttons::Ok);
    EXPECT_EQ(toolkit.messages.back().title, "Kelvara");

    // Fixing the text and pressing OK again is enough.
    dialog.Type(txtPreFix, "Card_A");
    dialog.Click(cmdOK);
    EXPECT_EQ(prefix, "Card_A");
}

TEST_F(OptionsTest, TwoDialogsLiveSideBySideAndCancelOrTheCloseBoxChangeNothing) {
    FakeView& first = Open();
    first.Type(txtPreFix, "First");
    FakeView& closedByBox = Open();
    EXPECT_EQ(closedByBox.Text(txtPreFix), "") << "a new dialog never inherits earlier typing";
    closedByBox.Type(txtPreFix, "Other");
    EXPECT_TRUE(closedByBox.CloseBox());
    FakeView& cancelled = Open();
    cancelled.Type(txtPreFix, "Other");
    cancelled.Click(cmdCancel);
    EXPECT_TRUE(Closed(1));
    EXPECT_TRUE(Closed(2));
    EXPECT_EQ(prefix, "Image");

    EXPECT_FALSE(Closed(0)) << "closing one dialog leaves the other open and unchanged";
    EXPECT_EQ(first.Text(txtPreFix), "First");
    first.Click(cmdOK);
    EXPECT_EQ(prefix, "First");
}

TEST_F(OptionsTest, CentresItselfOnTheScreenAndStepsAsideFromAnother) {
    toolkit.screen = {0, 0, 1024, 768};
    FakeView& dialog = Open();
    const Size outer = dialog.OuterSize();
    EXPECT_NEAR(dialog.Position().x, (1024 - outer.width) / 2.0, 0.5);
    EXPECT_NEAR(dialog.Position().y, (768 - outer.height) / 2.0, 0.5);
    EXPECT_EQ(dialog.layout().client, (Size{276, 104})) << "only the position changes";

    // A second dialog would lie exactly over the first: it steps down and right by a title bar.
    FakeView& second = Open();
    const int step = toolkit.frame.height;
    EXPECT_EQ(second.Position(), (Point{dialog.Position().x + step, dialog.Position().y + step}));

    // A second screen to the right, and odd leftovers that halve to a half pixel.
    toolkit.screen = {1920, 0, 1281, 1025};
    const Point at = Open().Position();
    EXPECT_NEAR(at.x, 1920 + (1281 - outer.width) / 2.0, 0.5);
    EXPECT_NEAR(at.y, (1025 - outer.height) / 2.0, 0.5);
}

// The caption is given the room it needs in the face the window uses, taken from the text box.
TEST_F(OptionsTest, TheCaptionKeepsItsWholeTextInAWideFace) {
    const FakeView& dialog = Open();
    const Rect label = dialog.RectOf(Label1), box = dialog.RectOf(txtPreFix);
    EXPECT_GE(label.width, 6 * 13);
    EXPECT_LE(label.right(), box.left);
    EXPECT_EQ(box.right(), Twips(1200 + 2775));
}

}  // namespace options

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
    FakeView& Open() {
        opened_.push_back(std::make_unique<frmAbout>(platform, toolkit));
        opened_.back()->Show();
        return ViewOf(*opened_.back());
    }
    void PathKey(const std::string& path) { platform.registry[kPathKey]["PATH"] = {REG_SZ, Bytes(path + '\0')}; }
    void FolderKey(const std::string& folder) {
        platform.registry[kFolderKey]["MSINFO"] = {REG_SZ, Bytes(folder + '\0')};
        platform.folders.insert(folder);
    }
    // Presses System Info in a new box; true when it said the tool is unavailable.
    bool PressSysInfoSaysUnavailable() {
        toolkit.messages.clear();
        FakeView& about = Open();
        about.Click(ids::frm_about::cmdSysInfo);
        EXPECT_LE(toolkit.messages.size(), 1u);
        EXPECT_TRUE(about.shown()) << "the box stays open";
        if (toolkit.messages.empty()) return false;
        const Message& shown = toolkit.messages[0];
        EXPECT_EQ(shown.text, kUnavailable);
        EXPECT_EQ(shown.title, "Kelvara") << "the application's own title";
        EXPECT_EQ(shown.buttons, Message::Buttons::Ok);
        return true;
    }
    bool Opened(const char* key) const {
        for (const auto& call : platform.CallsNamed("RegOpenKeyExA"))
            if (call.find(std::string(", ") + key + ",") != std::string::npos) return true;
        return false;
    }

    FakePlatform platform;
    FakeToolkit toolkit;

private:
    std::vector<std::unique_ptr<frmAbout>> opened_;
};

TEST_F(AboutTest, ShowsNameVersionDescriptionAndPictures) {
    using namespace ids::frm_about;
    const FakeView& about = Open();
    EXPECT_EQ(about.Text(0), "About Kelvara");
    EXPECT_EQ(about.Text(Label1), "Kelvara");
    EXPECT_TRUE(about.layout().Find(Label1)->flags & kBold);
    // The revision is shown even when it is 0.
    EXPECT_TRUE(std::regex_match(about.Text(lblVersion), std::regex("Version \\d+\\.\\d+\\.\\d+"))) << about.Text(lblVersion);
    EXPECT_EQ(about.Text(lblVersion), "Version " + std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor) +
                                          "." + std::to_string(kVersionRevision));
    EXPECT_EQ(about.Text(lblDescription), "Fast, Easy Recovery or your Digital media" + std::string(20, ' '));
    EXPECT_EQ(about.Text(cmdSysInfo), "&System Info...");
    EXPECT_EQ(about.layout().DefaultButton(), cmdOK);
    EXPECT_EQ(about.layout().CancelButton(), cmdOK);
    EXPECT_EQ(about.focus(), cmdOK);
    EXPECT_EQ(about.layout().tabOrder, (std::vector<int>{cmdOK, cmdSysInfo}));
    EXPECT_EQ(about.Picture(Image1), std::pair(ImageListId::ImageList2, 4)) << "the logo banner";
    EXPECT_EQ(about.Picture(Image2), std::pair(ImageListId::ImageList2, 5)) << "the camera";
    EXPECT_EQ(about.layout().Find(Line1)->kind, ControlKind::EtchedLine);
    EXPECT_EQ(about.owner(), nullptr);
}

TEST_F(AboutTest, OkEnterAndEscapeCloseTheBox) {
    FakeView& clicked = Open();
    clicked.Click(ids::frm_about::cmdOK);
    FakeView& entered = Open();
    entered.PressEnter();
    FakeView& escaped = Open();
    escaped.PressEscape();
    EXPECT_FALSE(clicked.shown());
    EXPECT_FALSE(entered.shown());
    EXPECT_FALSE(escaped.shown());
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

std::string HelpPage() {
    std::ifstream page(KELVARA_HELP_PAGE, std::ios::binary);
    std::ostringstream text;
    text << page.rdbuf();
    return text.str();
}

TEST(HelpTest, TheBrowserLoadsTheCarriedPageAndFillsTheClientAreaAfterEveryResize) {
    FakeToolkit toolkit;
    FrmBrowser first(toolkit), second(toolkit);
    first.Show();
    second.Show();
    FakeView& window = ViewOf(first);
    EXPECT_EQ(window.Text(0), "Help - Tobrin");
    EXPECT_EQ(window.layout().border, WindowLayout::Border::Sizable);
    EXPECT_EQ(window.owner(), nullptr);
    for (FakeView* each : {&window, &ViewOf(second)})
        EXPECT_EQ(each->Navigations(ids::frm_browser::WB), std::vector<std::string>{toolkit.helpAddress});
    // Neither larger, which would hide the scroll bar's end and the page's last lines, nor smaller.
    EXPECT_EQ(window.RectOf(ids::frm_browser::WB), (Rect{0, 0, Twips(7125), Twips(5790)}));
    for (const Size size : {Size{640, 480}, Size{200, 150}, Size{900, 300}}) {
        window.Resize(size);
        EXPECT_EQ(window.RectOf(ids::frm_browser::WB), (Rect{0, 0, size.width, size.height}));
    }
}

// Where the browser cannot show pages, the window shows the page's own words as formatted text.
TEST(HelpTest, WithoutABrowserThePagesTextIsShown) {
    FakeToolkit toolkit;
    toolkit.browserRenders = false;
    toolkit.helpText = HelpPage();
    ASSERT_FALSE(toolkit.helpText.empty()) << KELVARA_HELP_PAGE;
    FrmBrowser help(toolkit);
    help.Show();
    const HelpDocument* document = ViewOf(help).Document(ids::frm_browser::WB);
    ASSERT_NE(document, nullptr);
    EXPECT_TRUE(ViewOf(help).Navigations(ids::frm_browser::WB).empty());
    std::string all;
    for (const HelpBlock& block : *document) all += block.Text() + "\n";
    ASSERT_FALSE(document->empty());
    EXPECT_EQ(document->front().kind, HelpBlock::Kind::Title);
    EXPECT_EQ(document->front().Text(), "Kelvara Quick Start");
    EXPECT_EQ((*document)[1].kind, HelpBlock::Kind::Tagline);
    for (const char* topic : {"1. Choose the drive and scan", "Press Scan.", "Save All writes every photo",
                              "Image Disk", "Disk Wipe", "Options", "TOBRN.IMG", "Image001.JPG",
                              "Never save photos onto the card you are recovering from"})
        EXPECT_NE(all.find(topic), std::string::npos) << "the text says nothing of " << topic << ":\n" << all;
    for (const char* markup : {"<", ">", "&amp;", "{", "  "}) EXPECT_EQ(all.find(markup), std::string::npos) << markup;
    bool warned = false, bulleted = false, bold = false;
    for (const HelpBlock& block : *document) {
        bulleted = bulleted || block.kind == HelpBlock::Kind::Bullet;
        for (const HelpRun& run : block.runs) {
            warned = warned || run.warning;
            bold = bold || (run.bold && run.text == "Save All");
        }
    }
    EXPECT_TRUE(warned && bulleted && bold);
}

TEST(HelpTest, TheParserKeepsWordsAndDropsMarkup) {
    const HelpDocument document = ParseHelpPage(
        "<html><head><title>T</title><style>p { x: 1 }</style></head><body>\n<h1>Big &amp; bold</h1>\n"
        "<p>One   <b>two</b>\n three<br>four <!-- not this --></p><ol><li>first</li><li>second <code>C:\\</code></li></ol>"
        "<table><tr><td>C:\\</td><td>home</td></tr></table><p class=\"warn\">Careful</p><img src=\"x.svg\"></body></html>");
    ASSERT_EQ(document.size(), 6u);
    EXPECT_EQ(document[0].Text(), "Big & bold");
    EXPECT_EQ(document[1].Text(), "One two three four");
    EXPECT_TRUE(document[1].runs[1].bold);
    EXPECT_EQ(document[2].kind, HelpBlock::Kind::Numbered);
    EXPECT_EQ(document[3].number, 2);
    EXPECT_TRUE(document[3].runs.back().code);
    EXPECT_EQ(document[4].kind, HelpBlock::Kind::Row);
    EXPECT_EQ(document[4].Text(), "C:\\\thome");
    EXPECT_TRUE(document[5].runs[0].warning);
}

}  // namespace
}  // namespace kelvara
