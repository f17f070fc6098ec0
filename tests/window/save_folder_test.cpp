// The destination folder dialogs' cores on the fake toolkit: what Folder and ffdone come back
// as, the new-folder sequence, the folder list and the drive list.

#include <gtest/gtest.h>

#include "tests/support/fake_platform.h"
#include "tests/window/main_window.h"
#include "window/choose_destination.h"

namespace kelvara {
namespace {

using namespace ids::save_folder;
using testing::FakeToolkit;
using testing::FakeView;
using testing::ViewOf;

class SaveFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform.drives['C'].type = DRIVE_FIXED;
        platform.AddVolume('E', 16);
        platform.AddVolume('F', 16);
        platform.folders.insert("E:\\");  // F has no medium: its root cannot be listed
        platform.folders.insert("C:\\Work");
        platform.folders.insert("C:\\Work\\Old");
    }
    SaveFolder& Open() {
        dialog = std::make_unique<SaveFolder>(platform, toolkit, Folder, ffdone, nullptr);
        dialog->Show();
        return *dialog;
    }
    FakeView& View() { return ViewOf(*dialog); }
    // The row of Dir1 that stands for `folder`.
    int Row(const std::string& folder) {
        const auto& entries = dialog->Dir1.entries();
        for (std::size_t row = 0; row < entries.size(); ++row)
            if (entries[row].path == folder) return static_cast<int>(row);
        ADD_FAILURE() << folder << " is not listed";
        return -1;
    }
    // Presses New Folder and, once the new-folder dialog is up, lets `act` work it.
    void NewFolder(const std::function<void(FakeView&)>& act) {
        toolkit.WhileWaiting([&] {
            FakeView* form = toolkit.Shown("Create new folder");
            if (!form) return false;
            act(*form);
            return true;
        });
        View().Click(btnNewFolder);
    }

    testing::FakePlatform platform;
    FakeToolkit toolkit;
    std::string Folder = "unset";
    bool ffdone = true;
    std::unique_ptr<SaveFolder> dialog;
};

TEST_F(SaveFolderTest, OkGivesTheFolderShownAndCancelOrTheCloseBoxGivesNo) {
    Open();
    EXPECT_FALSE(ffdone);
    EXPECT_EQ(View().Text(0), "Select Destination Folder");
    EXPECT_EQ(dialog->Dir1.path(), "C:\\");
    EXPECT_EQ(View().Entries(Drive1)[static_cast<std::size_t>(View().Selected(Drive1))], "c:");
    EXPECT_EQ(View().focus(), OKButton);
    View().Click(OKButton);
    EXPECT_EQ(Folder, "C:\\");
    EXPECT_TRUE(ffdone);
    EXPECT_TRUE(dialog->closed());

    Open();
    View().Click(CancelButton);
    EXPECT_EQ(Folder, "No");
    Folder = "unset";
    Open();
    EXPECT_FALSE(ffdone) << "each opening starts afresh";
    dialog->Dir1_SetPath("C:\\Work");
    EXPECT_TRUE(View().CloseBox());
    EXPECT_EQ(Folder, "No");
    EXPECT_TRUE(ffdone);

    Open();
    View().PressEscape();
    EXPECT_EQ(Folder, "No");
}

// As a person chooses: a single click highlights a folder and OK takes it; a double click
// opens one, and so does Enter in the list.
TEST_F(SaveFolderTest, OkTakesTheHighlightedFolderAndOpeningShowsItsSubfolders) {
    Open();
    View().Open(Dir1, Row("C:\\Work"));
    ASSERT_EQ(dialog->Dir1.path(), "C:\\Work");
    EXPECT_EQ(View().Entries(Dir1), (std::vector<std::string>{"C:\\", "  Work", "    Old"}));
    EXPECT_EQ(View().Selected(Dir1), 1) << "the open folder is highlighted";
    View().Choose(Dir1, Row("C:\\Work\\Old"));  // highlighted only
    EXPECT_EQ(dialog->Dir1.path(), "C:\\Work");
    EXPECT_TRUE(View().layout().Find(Dir1)->flags & kEnterOpens);
    View().Click(OKButton);
    EXPECT_EQ(Folder, "C:\\Work\\Old");
    EXPECT_TRUE(ffdone);
}

// The title in the bold face a frame uses, beside an icon and three buttons, fits; the controls
// take the room and stay inside, in their order.
TEST_F(SaveFolderTest, TheWindowIsWideEnoughForItsTitle) {
    Open();
    const WindowLayout& layout = View().layout();
    EXPECT_GE(layout.client.width, toolkit.TitleWidth(layout.title));
    for (const ControlLayout& control : layout.controls) {
        EXPECT_GE(control.rect.left, 0) << control.name;
        EXPECT_LE(control.rect.right(), layout.client.width) << control.name;
    }
    const auto rect = [&](int id) { return layout.Find(id)->rect; };
    EXPECT_LT(rect(OKButton).right(), rect(CancelButton).left);
    EXPECT_LT(rect(CancelButton).right(), rect(btnNewFolder).left);
    EXPECT_EQ(rect(Dir1).right(), rect(btnNewFolder).right());
}

TEST_F(SaveFolderTest, TheWaitYieldsUntilTheAnswerAndResetsTheFlag) {
    int yields = 0;
    SaveFolder first(platform, toolkit, Folder, ffdone, nullptr);
    const std::string chosen = WaitForDestination(first, Folder, ffdone, toolkit, [&] {
        if (++yields < 3) return;
        first.Dir1_SetPath("C:\\Work");
        ViewOf(first).Click(OKButton);
    });
    EXPECT_EQ(chosen, "C:\\Work");
    EXPECT_FALSE(ffdone);
    EXPECT_EQ(yields, 3);
    EXPECT_GE(toolkit.waited, 2) << "it rests between yields";
    SaveFolder second(platform, toolkit, Folder, ffdone, nullptr);
    const std::string closed = WaitForDestination(second, Folder, ffdone, toolkit, [&] { ViewOf(second).CloseBox(); });
    EXPECT_EQ(closed, "No");
    EXPECT_FALSE(ffdone);
}

TEST_F(SaveFolderTest, DirListShowsTheChainAndSubfoldersAndOpensThem) {
    DirList list(platform);
    ASSERT_TRUE(list.setPath("C:\\Work\\"));
    ASSERT_EQ(list.entries().size(), 3u);
    EXPECT_EQ(list.entries()[0].path, "C:\\");
    EXPECT_EQ(list.entries()[1].path, "C:\\Work");
    EXPECT_EQ(list.entries()[2].path, "C:\\Work\\Old");
    EXPECT_EQ(list.HighlightedPath(), "C:\\Work");
    EXPECT_FALSE(list.setPath("C:\\Missing"));
    EXPECT_EQ(list.path(), "C:\\Work");
    EXPECT_TRUE(list.Open(2));
    EXPECT_EQ(list.path(), "C:\\Work\\Old");
    EXPECT_TRUE(list.Open(0));
    EXPECT_EQ(list.path(), "C:\\");
    EXPECT_EQ(NormalFolderPath("c:"), "c:\\");
    EXPECT_EQ(NormalFolderPath("C:\\\\Photos\\"), "C:\\Photos");
    EXPECT_EQ(JoinFolder("C:\\", "a"), "C:\\a");
}

TEST_F(SaveFolderTest, ANewFolderIsMadeUnderTheShownFolderAndOpened) {
    Open();
    dialog->Dir1_SetPath("C:\\Work");
    NewFolder([&](FakeView& form) {
        EXPECT_EQ(form.owner(), &View()) << "it stays above the destination dialog";
        EXPECT_EQ(form.focus(), ids::frm_new_folder::Text1);
        form.Type(ids::frm_new_folder::Text1, "Photos");
        form.Click(ids::frm_new_folder::Command1);
    });
    EXPECT_TRUE(platform.folders.count("C:\\Work\\Photos"));
    EXPECT_EQ(dialog->Dir1.path(), "C:\\Work\\Photos");
    EXPECT_EQ(toolkit.Shown("Create new folder"), nullptr);

    dialog->Dir1_SetPath("C:\\");  // at a root the handed-over path ends in two backslashes
    NewFolder([](FakeView& form) {
        form.Type(ids::frm_new_folder::Text1, "Out");
        form.PressEnter();
    });
    EXPECT_EQ(platform.CallsNamed("CreateDirectoryA").back(), "CreateDirectoryA(C:\\\\Out)");
    EXPECT_EQ(dialog->Dir1.path(), "C:\\Out");
    EXPECT_TRUE(toolkit.messages.empty());
}

TEST_F(SaveFolderTest, AFolderNotMadeIsToldAndCancelOrCloseMakesNone) {
    using namespace ids::frm_new_folder;
    Open();
    dialog->Dir1_SetPath("C:\\Work");
    NewFolder([](FakeView& form) {
        form.Type(Text1, "Old");  // already there
        form.Click(Command1);
    });
    ASSERT_EQ(toolkit.messages.size(), 1u);
    EXPECT_EQ(toolkit.messages[0].text,
              "The folder C:\\Work\\Old could not be made. Cannot create a file when that file already exists.");
    EXPECT_EQ(dialog->Dir1.path(), "C:\\Work");

    // Ok with no name asks for one and waits; the name typed then, and Enter, make the folder.
    NewFolder([&](FakeView& form) {
        form.Click(Command1);
        ASSERT_EQ(toolkit.messages.size(), 2u);
        EXPECT_EQ(toolkit.messages[1].text, "The new folder needs a name: type it in the box, then press Ok.");
        EXPECT_TRUE(form.shown());
        EXPECT_EQ(form.focus(), Text1);
        form.Type(Text1, "Trip");
        form.PressEnter();
    });
    EXPECT_EQ(platform.CallsNamed("CreateDirectoryA").size(), 2u);
    EXPECT_EQ(dialog->Dir1.path(), "C:\\Work\\Trip");
    dialog->Dir1_SetPath("C:\\Work");

    NewFolder([](FakeView& form) { form.Click(Command2); });
    NewFolder([](FakeView& form) { form.PressEscape(); });
    NewFolder([](FakeView& form) { form.CloseBox(); });
    EXPECT_EQ(platform.CallsNamed("CreateDirectoryA").size(), 2u);
    EXPECT_EQ(dialog->Dir1.path(), "C:\\Work");

    // The destination dialog closed while the name is typed: nobody is left waiting.
    NewFolder([&](FakeView&) { View().CloseBox(); });
    EXPECT_EQ(Folder, "No");
    EXPECT_TRUE(ffdone);
    EXPECT_EQ(toolkit.Shown("Create new folder"), nullptr);
}

TEST_F(SaveFolderTest, DriveListOffersEveryDriveAndRefusesOneWithoutMedia) {
    Open();
    EXPECT_EQ(View().Entries(Drive1), (std::vector<std::string>{"c:", "e:", "f:"}));

    dialog->Dir1_SetPath("C:\\Work");
    View().Choose(Drive1, 2);
    ASSERT_EQ(toolkit.messages.size(), 1u);
    EXPECT_EQ(toolkit.messages[0].text, "No disk or disk not ready");
    EXPECT_EQ(toolkit.messages[0].title, "Kelvara");
    EXPECT_EQ(dialog->Dir1.path(), "C:\\Work");
    EXPECT_EQ(View().Selected(Drive1), 2);

    View().Choose(Drive1, 1);
    EXPECT_EQ(toolkit.messages.size(), 1u);
    EXPECT_EQ(dialog->Dir1.path(), "E:\\");
    EXPECT_EQ(View().Entries(Dir1), std::vector<std::string>{"E:\\"});
}

}  // namespace
}  // namespace kelvara
