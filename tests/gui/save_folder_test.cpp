// The destination folder dialogs through their real controls on the offscreen platform:
// what Folder and ffdone come back as, the new-folder sequence, and the drive list.

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "folder_dialogs/choose_destination.h"
#include "folder_dialogs/dir_list.h"
#include "folder_dialogs/frm_new_folder.h"
#include "folder_dialogs/save_folder.h"
#include "tests/support/fake_platform.h"
#include "ui/message_box.h"

namespace kelvara {
namespace {

template <typename T>
T* Shown() {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* found = qobject_cast<T*>(widget); found && found->isVisible()) return found;
    return nullptr;
}

void DeleteLeftovers() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

class SaveFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform.drives['C'].type = DRIVE_FIXED;
        platform.AddVolume('E', 16);
        platform.AddVolume('F', 16);
        platform.folders.insert("E:\\");  // F has no medium: its root cannot be listed
        platform.folders.insert("C:\\Work");
        platform.folders.insert("C:\\Work\\Old");
        MessageBox::SetResponder([this](const MessageBox::Shown& shown) {
            messages.push_back(shown);
            return true;
        });
    }
    void TearDown() override {
        MessageBox::SetResponder({});
        for (QWidget* widget : QApplication::topLevelWidgets()) widget->close();
        DeleteLeftovers();
    }
    SaveFolder* Open() {
        auto* dialog = new SaveFolder(platform, Folder, ffdone);
        dialog->show();
        return dialog;
    }
    // Presses btnNewFolder and, once the new-folder dialog is up, lets `act` work it.
    void NewFolder(SaveFolder* dialog, std::function<void(frmNewFolder*)> act) {
        QTimer::singleShot(0, [act] {
            frmNewFolder* form = Shown<frmNewFolder>();
            ASSERT_NE(form, nullptr);
            act(form);
        });
        dialog->btnNewFolder->click();
        DeleteLeftovers();
    }

    testing::FakePlatform platform;
    std::string Folder = "unset";
    bool ffdone = true;
    std::vector<MessageBox::Shown> messages;
};

TEST_F(SaveFolderTest, OkGivesTheFolderShownAndCancelOrTheCloseBoxGivesNo) {
    QPointer<SaveFolder> dialog = Open();
    EXPECT_FALSE(ffdone);
    EXPECT_EQ(dialog->Dir1->path(), "C:\\");
    EXPECT_EQ(dialog->Drive1->currentText(), "c:");
    dialog->OKButton->click();
    EXPECT_EQ(Folder, "C:\\");
    EXPECT_TRUE(ffdone);
    DeleteLeftovers();
    EXPECT_TRUE(dialog.isNull());

    Open()->CancelButton->click();
    EXPECT_EQ(Folder, "No");
    Folder = "unset";
    dialog = Open();
    EXPECT_FALSE(ffdone);
    dialog->Dir1->setPath("C:\\Work");
    dialog->close();
    EXPECT_EQ(Folder, "No");
    EXPECT_TRUE(ffdone);
}

// As a person chooses: a single click highlights a folder and OK takes it; a double click opens
// one. The title is whole beside the frame's buttons.
TEST_F(SaveFolderTest, OkTakesTheHighlightedFolderAndADoubleClickOpensOne) {
    QPointer<SaveFolder> dialog = Open();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
    DirList* list = dialog->Dir1;
    const auto at = [list](const std::string& folder) {
        for (int row = 0; row < list->count(); ++row)
            if (DirList::EntryPath(list->item(row)) == folder) return list->visualItemRect(list->item(row)).center();
        ADD_FAILURE() << folder << " is not listed";
        return QPoint();
    };
    const QPoint work = at("C:\\Work");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, work);  // a double click's first click
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, work);
    ASSERT_EQ(list->path(), "C:\\Work");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at("C:\\Work\\Old"));  // highlighted only
    EXPECT_EQ(list->path(), "C:\\Work");
    QTest::mouseClick(dialog->OKButton, Qt::LeftButton);
    EXPECT_EQ(Folder, "C:\\Work\\Old");
    EXPECT_TRUE(ffdone);
    DeleteLeftovers();
    EXPECT_TRUE(dialog.isNull());

    // Its title in the bold face a frame uses, beside an icon and three buttons, fits; the
    // controls take the room and stay inside.
    dialog = Open();
    QFont bold = QApplication::font();
    bold.setBold(true);
    EXPECT_GE(dialog->width(), QFontMetrics(bold).horizontalAdvance(dialog->windowTitle()) + 4 * 20);
    for (QWidget* control : dialog->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        EXPECT_TRUE(dialog->rect().contains(control->geometry())) << control->metaObject()->className();
    EXPECT_LT(dialog->OKButton->geometry().right(), dialog->CancelButton->x());
    EXPECT_LT(dialog->CancelButton->geometry().right(), dialog->btnNewFolder->x());
    EXPECT_EQ(dialog->Dir1->geometry().right(), dialog->btnNewFolder->geometry().right());
}

TEST_F(SaveFolderTest, ChooseWaitsForTheAnswerAndResetsTheFlag) {
    int yields = 0;
    const std::string chosen = ChooseDestinationFolder(platform, Folder, ffdone, [&] {
        if (++yields < 3) return;
        Shown<SaveFolder>()->Dir1->setPath("C:\\Work");
        Shown<SaveFolder>()->OKButton->click();
    });
    EXPECT_EQ(chosen, "C:\\Work");
    EXPECT_FALSE(ffdone);
    EXPECT_EQ(yields, 3);
    const std::string closed = ChooseDestinationFolder(platform, Folder, ffdone, [&] {
        if (SaveFolder* dialog = Shown<SaveFolder>()) dialog->close();
    });
    EXPECT_EQ(closed, "No");
}

TEST_F(SaveFolderTest, DirListShowsTheChainAndSubfoldersAndOpensThem) {
    SaveFolder* dialog = Open();
    DirList* list = dialog->Dir1;
    ASSERT_TRUE(list->setPath("C:\\Work\\"));
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(DirList::EntryPath(list->item(0)), "C:\\");
    EXPECT_EQ(DirList::EntryPath(list->item(1)), "C:\\Work");
    EXPECT_EQ(DirList::EntryPath(list->item(2)), "C:\\Work\\Old");
    EXPECT_FALSE(list->setPath("C:\\Missing"));
    EXPECT_EQ(list->path(), "C:\\Work");

    list->setCurrentRow(2);  // Enter opens it, and does not press OK
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(list, &enter);
    EXPECT_EQ(list->path(), "C:\\Work\\Old");
    EXPECT_FALSE(ffdone);
    emit list->itemDoubleClicked(list->item(0));
    EXPECT_EQ(list->path(), "C:\\");
}

TEST_F(SaveFolderTest, ANewFolderIsMadeUnderTheShownFolderAndOpened) {
    SaveFolder* dialog = Open();
    dialog->Dir1->setPath("C:\\Work");
    NewFolder(dialog, [](frmNewFolder* form) {
        EXPECT_EQ(form->path, "C:\\Work\\");
        form->Text1->setText("Photos");
        form->Command1->click();
    });
    EXPECT_TRUE(platform.folders.count("C:\\Work\\Photos"));
    EXPECT_EQ(dialog->Dir1->path(), "C:\\Work\\Photos");
    EXPECT_TRUE(dialog->findChildren<frmNewFolder*>().isEmpty());

    dialog->Dir1->setPath("C:\\");  // at a root the handed-over path ends in two backslashes
    NewFolder(dialog, [](frmNewFolder* form) {
        form->Text1->setText("Out");
        form->Command1->click();
    });
    EXPECT_EQ(platform.CallsNamed("CreateDirectoryA").back(), "CreateDirectoryA(C:\\\\Out)");
    EXPECT_EQ(dialog->Dir1->path(), "C:\\Out");
    EXPECT_TRUE(messages.empty());
}

TEST_F(SaveFolderTest, AFolderNotMadeIsToldAndCancelOrCloseMakesNone) {
    SaveFolder* dialog = Open();
    dialog->Dir1->setPath("C:\\Work");
    NewFolder(dialog, [](frmNewFolder* form) {
        form->Text1->setText("Old");  // already there
        form->Command1->click();
    });
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text,
              "The folder C:\\Work\\Old could not be made. Cannot create a file when that file already exists.");
    EXPECT_EQ(dialog->Dir1->path(), "C:\\Work");

    // Ok with no name asks for one and waits; the name typed then, and Enter, make the folder.
    NewFolder(dialog, [this](frmNewFolder* form) {
        QTest::mouseClick(form->Command1, Qt::LeftButton);
        ASSERT_EQ(messages.size(), 2u);
        EXPECT_EQ(messages[1].text, "The new folder needs a name: type it in the box, then press Ok.");
        EXPECT_TRUE(form->isVisible());
        EXPECT_FALSE(form->done);
        QTest::keyClicks(form->Text1, "Trip");
        QTest::keyClick(form->Text1, Qt::Key_Return);
    });
    EXPECT_EQ(platform.CallsNamed("CreateDirectoryA").size(), 2u);
    EXPECT_EQ(dialog->Dir1->path(), "C:\\Work\\Trip");
    dialog->Dir1->setPath("C:\\Work");

    NewFolder(dialog, [](frmNewFolder* form) { form->Command2->click(); });
    NewFolder(dialog, [](frmNewFolder* form) { form->close(); });
    EXPECT_EQ(platform.CallsNamed("CreateDirectoryA").size(), 2u);
    EXPECT_EQ(dialog->Dir1->path(), "C:\\Work");

    // The destination dialog closed while the name is typed: nobody is left waiting.
    NewFolder(dialog, [dialog](frmNewFolder*) { dialog->close(); });
    EXPECT_EQ(Folder, "No");
    EXPECT_TRUE(ffdone);
}

TEST_F(SaveFolderTest, DriveListOffersEveryDriveAndRefusesOneWithoutMedia) {
    SaveFolder* dialog = Open();
    QStringList drives;
    for (int i = 0; i < dialog->Drive1->count(); ++i) drives << dialog->Drive1->itemText(i);
    EXPECT_EQ(drives, (QStringList{"c:", "e:", "f:"}));

    dialog->Dir1->setPath("C:\\Work");
    dialog->Drive1->setCurrentIndex(2);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "No disk or disk not ready");
    EXPECT_EQ(messages[0].title, "");
    EXPECT_EQ(dialog->Dir1->path(), "C:\\Work");
    EXPECT_EQ(dialog->Drive1->currentText(), "f:");

    dialog->Drive1->setCurrentIndex(1);
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_EQ(dialog->Dir1->path(), "E:\\");
}

}  // namespace
}  // namespace kelvara
