#include "photos/frm_new_folder.h"

#include <QCloseEvent>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "dialogs/message_box.h"
#include "platform/last_error_text.h"
#include "dialogs/twips.h"

namespace kelvara {

frmNewFolder::frmNewFolder(Platform& platform, QWidget* parent) : QDialog(parent), platform_(platform) {
    setWindowTitle("Create new folder");
    setFixedSize(TwipsSize(5175, 1095));
    // The twips layout was drawn for the small system font of its day.
    QFont small = font();
    small.setPixelSize(11);
    setFont(small);
    Text1 = new QLineEdit(this);
    Text1->setGeometry(TwipsRect(1680, 120, 3495, 285));
    Label1 = new QLabel("Name of New Folder:", this);
    // Up to the text box rather than its drawn width: today's fonts run a little wider.
    Label1->setGeometry(TwipsRect(0, 120, 1680, 255));
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
    const std::string folder = MadePath();
    made = platform_.CreateDirectoryA(folder);
    if (!made) {
        MessageBox::Show(this,
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
