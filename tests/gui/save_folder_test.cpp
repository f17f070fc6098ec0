// The destination folder dialogs through their real controls on the offscreen platform:
// what Folder and ffdone come back as, the new-folder sequence, and the drive list.

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include "dialogs/message_box.h"
#include "photos/choose_destination.h"
#include "photos/dir_list.h"
#include "photos/frm_new_folder.h"
#include "photos/save_folder.h"
#include "tests/support/fake_platform.h"

namespace kelvara {
namespace {

using testing::FakePlatform;

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
    // A dialog opened as the main window opens it, without waiting.
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
            EXPECT_EQ(form->windowTitle(), "Create new folder");
            act(form);
        });
        dialog->btnNewFolder->click();
        DeleteLeftovers();
    }

    FakePlatform platform;
    std::string Folder = "unset";
    bool ffdone = true;
    std::vector<MessageBox::Shown> messages;
};

TEST_F(SaveFolderTest, OkWithoutMovingGivesTheStartFolderAndCloses) {
    QPointer<SaveFolder> dialog = Open();
    EXPECT_EQ(dialog->windowTitle(), "Select Destination Folder");
    EXPECT_FALSE(ffdone);
    EXPECT_EQ(dialog->Dir1->path(), "C:\\");
    EXPECT_EQ(dialog->Drive1->currentText(), "c:");
    dialog->OKButton->click();
    EXPECT_EQ(Folder, "C:\\");
    EXPECT_TRUE(ffdone);
    DeleteLeftovers();
    EXPECT_TRUE(dialog.isNull());

    // A second use starts afresh.
    dialog = Open();
    EXPECT_FALSE(ffdone);
    EXPECT_EQ(dialog->Dir1->path(), "C:\\");
}

TEST_F(SaveFolderTest, CancelAndTheCloseBoxBothAnswerNo) {
    Open()->CancelButton->click();
    EXPECT_EQ(Folder, "No");
    EXPECT_TRUE(ffdone);

    Folder = "unset";
    SaveFolder* dialog = Open();
    dialog->Dir1->setPath("C:\\Work");
    dialog->close();
    EXPECT_EQ(Folder, "No");
    EXPECT_TRUE(ffdone);

    Folder = "unset";
    dialog = Open();
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(dialog, &escape);
    EXPECT_EQ(Folder, "No");
}

TEST_F(SaveFolderTest, ChooseWaitsForTheAnswerAndResetsTheFlag) {
    int yields = 0;
    const std::string chosen = ChooseDestinationFolder(platform, Folder, ffdone, [&] {
        if (++yields == 3) {
            SaveFolder* dialog = Shown<SaveFolder>();
            ASSERT_NE(dialog, nullptr);
            dialog->Dir1->setPath("C:\\Work");
            dialog->OKButton->click();
        }
    });
    EXPECT_EQ(chosen, "C:\\Work");
    EXPECT_EQ(Folder, "C:\\Work");
    EXPECT_FALSE(ffdone);
    EXPECT_EQ(yields, 3);

    // Closed with its frame: the wait ends with "No".
    const std::string closed = ChooseDestinationFolder(platform, Folder, ffdone, [&] {
        if (SaveFolder* dialog = Shown<SaveFolder>()) dialog->close();
    });
    EXPECT_EQ(closed, "No");
    EXPECT_FALSE(ffdone);
}

TEST_F(SaveFolderTest, DirListShowsTheChainAndSubfoldersAndOpensThem) {
    SaveFolder* dialog = Open();
    DirList* list = dialog->Dir1;
    ASSERT_TRUE(list->setPath("C:\\Work"));
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(DirList::EntryPath(list->item(0)), "C:\\");
    EXPECT_EQ(DirList::EntryPath(list->item(1)), "C:\\Work");
    EXPECT_EQ(DirList::EntryPath(list->item(2)), "C:\\Work\\Old");
    EXPECT_EQ(list->currentRow(), 1);
    EXPECT_FALSE(list->setPath("C:\\Missing"));
    EXPECT_EQ(list->path(), "C:\\Work");

    // Enter opens the chosen folder and does not press OK.
    list->setCurrentRow(2);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(list, &enter);
    EXPECT_EQ(list->path(), "C:\\Work\\Old");
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_FALSE(ffdone);
    emit list->itemDoubleClicked(list->item(0));
    EXPECT_EQ(list->path(), "C:\\");
}

TEST_F(SaveFolderTest, ANewFolderIsMadeUnderTheShownFolderAndOpened) {
    SaveFolder* dialog = Open();
    dialog->Dir1->setPath("C:\\Work");
    NewFolder(dialog, [](frmNewFolder* form) {
        EXPECT_EQ(form->path, "C:\\Work\\");
        EXPECT_FALSE(form->done);
        form->Text1->setText("Photos");
        form->Command1->click();
    });
    EXPECT_TRUE(platform.folders.count("C:\\Work\\Photos"));
    EXPECT_EQ(dialog->Dir1->path(), "C:\\Work\\Photos");
    EXPECT_TRUE(dialog->findChildren<frmNewFolder*>().isEmpty());
    EXPECT_TRUE(messages.empty());

    // At a root the handed-over path ends in two backslashes.
    dialog->Dir1->setPath("C:\\");
    NewFolder(dialog, [](frmNewFolder* form) {
        EXPECT_EQ(form->path, "C:\\\\");
        form->Text1->setText("Out");
        form->Command1->click();
    });
    EXPECT_EQ(platform.CallsNamed("CreateDirectoryA").back(), "CreateDirectoryA(C:\\\\Out)");
    EXPECT_EQ(dialog->Dir1->path(), "C:\\Out");
    EXPECT_FALSE(ffdone);
}

TEST_F(SaveFolderTest, AFolderThatCannotBeMadeIsToldAndNothingMoves) {
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

    platform.readOnly = true;
    NewFolder(dialog, [](frmNewFolder* form) {
        form->Text1->setText("New");
        form->Command1->click();
    });
    EXPECT_EQ(messages.size(), 2u);
    EXPECT_EQ(dialog->Dir1->path(), "C:\\Work");
}

TEST_F(SaveFolderTest, CancelOrTheCloseBoxMakesNoFolder) {
    SaveFolder* dialog = Open();
    dialog->Dir1->setPath("C:\\Work");
    NewFolder(dialog, [](frmNewFolder* form) {
        form->Text1->setText("Nope");
        form->Command2->click();
    });
    NewFolder(dialog, [](frmNewFolder* form) {
        form->Text1->setText("Nope");
        form->close();
    });
    EXPECT_TRUE(platform.CallsNamed("CreateDirectoryA").empty());
    EXPECT_EQ(dialog->Dir1->path(), "C:\\Work");
    EXPECT_TRUE(messages.empty());

    // The destination dialog closed while the name is being typed: nobody is left waiting.
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
    EXPECT_EQ(messages[0].buttons, MessageBox::Buttons::Ok);
    EXPECT_EQ(dialog->Dir1->path(), "C:\\Work");
    EXPECT_EQ(dialog->Drive1->currentText(), "f:");

    dialog->Drive1->setCurrentIndex(1);
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_EQ(dialog->Dir1->path(), "E:\\");
    dialog->OKButton->click();
    EXPECT_EQ(Folder, "E:\\");
}

}  // namespace
}  // namespace kelvara
