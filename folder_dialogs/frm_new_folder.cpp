#include "folder_dialogs/frm_new_folder.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>

#include "platform/last_error_text.h"
#include "ui/message_box.h"
#include "ui/twips.h"

namespace kelvara {

frmNewFolder::frmNewFolder(Platform& platform, QWidget* parent) : QDialog(parent), platform_(platform) {
    setWindowTitle("Create new folder");
    setFixedSize(TwipsSize(5175, 1095));
    UseLayoutFont(this);
    Text1 = new QLineEdit(this);
    Label1 = new QLabel("Name of New Folder:", this);
    // The label keeps the margin the buttons keep, and the box starts after its whole caption,
    // colon included, and ends where the buttons end: today's faces run wider than the layout's.
    const int margin = Twips(120);
    const int caption = Label1->fontMetrics().horizontalAdvance(Label1->text());
    Label1->setGeometry(margin, Twips(120), caption, Twips(255));
    const int textLeft = std::max(Twips(1680), margin + caption + 6);
    Text1->setGeometry(textLeft, Twips(120), Twips(3960 + 1095) - textLeft, Twips(285));
    Command1 = new QPushButton("Ok", this);
    Command1->setGeometry(TwipsRect(2760, 600, 1095, 375));
    Command1->setDefault(true);
    Command2 = new QPushButton("Cancel", this);
    Command2->setGeometry(TwipsRect(3960, 600, 1095, 375));
    setTabOrder(Text1, Command1);
    setTabOrder(Command1, Command2);
    Text1->setFocus();
    connect(Command1, &QPushButton::clicked, this, &frmNewFolder::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &frmNewFolder::Command2_Click);
    done = false;
}

std::string frmNewFolder::MadePath() const { return path + Text1->text().toStdString(); }

void frmNewFolder::Command1_Click() {
    if (done) return;
    // Without a name there is nothing to make: the dialog stays for one to be typed.
    if (Text1->text().isEmpty()) {
        MessageBox::ShowFailure(this, "The new folder needs a name: type it in the box, then press Ok.", QString());
        Text1->setFocus();
        return;
    }
    const std::string folder = MadePath();
    made = platform_.CreateDirectoryA(folder);
    if (!made) {
        MessageBox::ShowFailure(this,
                                QString::fromStdString("The folder " + folder + " could not be made. " +
                                                       LastErrorText(platform_)),
                                QString());
    }
    done = true;
    hide();
}

void frmNewFolder::Command2_Click() {
    done = true;
    hide();
}

void frmNewFolder::reject() { Command2_Click(); }

void frmNewFolder::closeEvent(QCloseEvent* event) {
    // The close box gives up, like Cancel, so the opener stops waiting.
    done = true;
    event->accept();
}

}  // namespace kelvara
