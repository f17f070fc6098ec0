#include "folder_dialogs/save_folder.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalBlocker>
#include <algorithm>

#include "folder_dialogs/dir_list.h"
#include "folder_dialogs/frm_new_folder.h"
#include "folder_dialogs/yield_until.h"
#include "platform/drive_string.h"
#include "ui/message_box.h"
#include "ui/title_width.h"
#include "ui/twips.h"

namespace kelvara {
namespace {

// A drive as a drive list box names it: "c:".
QString DriveName(const std::string& drive) { return QString(QChar::fromLatin1(DriveLetter(drive))).toLower() + ":"; }

}  // namespace

SaveFolder::SaveFolder(Platform& platform, std::string& Folder, bool& ffdone, QWidget* parent)
    : QDialog(parent), platform_(platform), Folder_(Folder), ffdone_(ffdone) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle("Select Destination Folder");
    UseLayoutFont(this);

    Drive1 = new QComboBox(this);
    Drive1->setGeometry(TwipsRect(120, 120, 3135, 315));
    Dir1 = new DirList(platform_, this);
    Dir1->setGeometry(TwipsRect(120, 480, 3135, 2340));
    OKButton = new QPushButton("OK", this);
    OKButton->setGeometry(TwipsRect(120, 2880, 975, 375));
    OKButton->setDefault(true);
    CancelButton = new QPushButton("Cancel", this);
    CancelButton->setGeometry(TwipsRect(1200, 2880, 975, 375));
    btnNewFolder = new QPushButton("New Folder", this);
    btnNewFolder->setGeometry(TwipsRect(2280, 2880, 975, 375));
    FitTitle();
    setTabOrder(OKButton, CancelButton);
    setTabOrder(CancelButton, btnNewFolder);
    setTabOrder(btnNewFolder, Drive1);
    setTabOrder(Drive1, Dir1);
    OKButton->setFocus();

    for (const std::string& root : DriveStrings(platform_)) Drive1->addItem(DriveName(root));
    Form_Load();

    connect(Drive1, &QComboBox::currentIndexChanged, this, [this] { Drive1_Change(); });
    connect(OKButton, &QPushButton::clicked, this, &SaveFolder::OKButton_Click);
    connect(CancelButton, &QPushButton::clicked, this, &SaveFolder::CancelButton_Click);
    connect(btnNewFolder, &QPushButton::clicked, this, &SaveFolder::btnNewFolder_Click);
}

void SaveFolder::FitTitle() {
    // The layout is narrower than the title with a frame's buttons beside it: the extra width goes
    // to the lists, and the buttons spread over it.
    const QSize layout = TwipsSize(3375, 3375);
    const int extra = std::max(0, TitleWidth(windowTitle(), QApplication::font()) - layout.width());
    setFixedSize(layout.width() + extra, layout.height());
    for (QWidget* list : {static_cast<QWidget*>(Drive1), static_cast<QWidget*>(Dir1)})
        list->resize(list->width() + extra, list->height());
    CancelButton->move(CancelButton->x() + extra / 2, CancelButton->y());
    btnNewFolder->move(btnNewFolder->x() + extra, btnNewFolder->y());
}

void SaveFolder::Form_Load() {
    ffdone_ = false;
    Dir1->setPath("C:\\");
    ShowDriveOf(Dir1->path());
}

// The drive list follows the folder on show without treating that as a choice of drive.
void SaveFolder::ShowDriveOf(const std::string& path) {
    if (path.size() < 2 || path[1] != ':') return;
    const QSignalBlocker quiet(Drive1);
    const int index = Drive1->findText(DriveName(path));
    if (index >= 0) Drive1->setCurrentIndex(index);
}

void SaveFolder::Drive1_Change() {
    const QString chosen = Drive1->currentText();
    if (chosen.isEmpty()) return;
    if (!Dir1->setPath(DriveRoot(chosen.toStdString())))
        MessageBox::Show(this, "No disk or disk not ready", QString());
}

void SaveFolder::Finish(const std::string& folder) {
    if (finished_) return;
    finished_ = true;
    Folder_ = folder;
    ffdone_ = true;
}

void SaveFolder::OKButton_Click() {
    Finish(Dir1->HighlightedPath());
    close();
}

void SaveFolder::CancelButton_Click() {
    Finish(kNoFolder);
    close();
}

void SaveFolder::reject() { CancelButton_Click(); }

void SaveFolder::closeEvent(QCloseEvent* event) {
    // The close box is a Cancel, so whoever waits on ffdone stops waiting; so is a new-folder
    // dialog still open over it.
    Finish(kNoFolder);
    for (frmNewFolder* form : findChildren<frmNewFolder*>()) form->Command2_Click();
    event->accept();
}

void SaveFolder::btnNewFolder_Click() {
    QPointer<SaveFolder> self(this);
    QPointer<frmNewFolder> form(new frmNewFolder(platform_, this));
    form->path = Dir1->path() + "\\";
    form->show();
    YieldUntil([&] { return !self || !form || form->done; }, [] { QCoreApplication::processEvents(); });
    if (!self) return;  // this dialog was closed and deleted meanwhile
    if (!form) return;
    Dir1->refresh();
    // The folder opened is the one that was made, even if Dir1 moved while the name was typed.
    if (form->made) Dir1->setPath(form->MadePath());
    delete form.data();
}

}  // namespace kelvara
