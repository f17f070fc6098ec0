#include "dialogs/frm_about.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>

#include "dialogs/get_key_value.h"
#include "dialogs/program_version.h"
#include "resources/image_lists.h"
#include "ui/message_box.h"
#include "ui/twips.h"

namespace kelvara {
namespace {

// Where Windows records the System Information tool: its full path, or else its folder.
constexpr const char* kSysInfoKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
constexpr const char* kSysInfoValue = "PATH";
constexpr const char* kSysInfoFolderKey = "SOFTWARE\\Microsoft\\Shared Tools Location";
constexpr const char* kSysInfoFolderValue = "MSINFO";
constexpr const char* kSysInfoProgram = "\\MSINFO32.EXE";
constexpr const char* kUnavailable = "System Information Is Unavailable At This Time";

QLabel* NewPicture(QWidget* parent, QRect geometry) {
    auto* picture = new QLabel(parent);
    picture->setGeometry(geometry);
    picture->setScaledContents(true);
    return picture;
}

}  // namespace

frmAbout::frmAbout(Platform& platform) : QDialog(nullptr), platform_(platform) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(TwipsSize(5565, 2295));
    UseLayoutFont(this);

    Image2 = NewPicture(this, TwipsRect(120, 120, 855, 855));
    Image1 = NewPicture(this, TwipsRect(120, 1320, 3975, 855));
    Label1 = new QLabel("Kelvara", this);
    Label1->setGeometry(TwipsRect(1080, 240, 3855, 255));
    QFont title = Label1->font();
    title.setBold(true);
    Label1->setFont(title);
    lblVersion = new QLabel("Version 1.1", this);
    lblVersion->setGeometry(TwipsRect(1080, 480, 3885, 225));
    lblDescription = new QLabel(QStringLiteral("Fast, Easy Recovery or your Digital media") + QString(20, ' '), this);
    lblDescription->setGeometry(TwipsRect(1080, 720, 3885, 330));
    Line1 = new QFrame(this);
    Line1->setFrameShape(QFrame::HLine);
    Line1->setFrameShadow(QFrame::Sunken);
    QPalette etched = Line1->palette();
    etched.setColor(QPalette::Dark, QColor(0x80, 0x80, 0x80));
    etched.setColor(QPalette::Light, Qt::white);
    Line1->setPalette(etched);
    Line1->setGeometry(Twips(120), Twips(1200), Twips(5325), 2);
    cmdOK = new QPushButton("OK", this);
    cmdOK->setGeometry(TwipsRect(4245, 1425, 1260, 345));
    cmdOK->setDefault(true);
    cmdSysInfo = new QPushButton("&System Info...", this);
    cmdSysInfo->setGeometry(TwipsRect(4260, 1875, 1245, 345));

    setTabOrder(cmdOK, cmdSysInfo);
    cmdOK->setFocus();

    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
    connect(cmdSysInfo, &QPushButton::clicked, this, &frmAbout::cmdSysInfo_Click);
    Form_Load();
}

void frmAbout::Form_Load() {
    setWindowTitle("About Kelvara");
    lblVersion->setText(QStringLiteral("Version %1.%2.%3").arg(kVersionMajor).arg(kVersionMinor).arg(kVersionRevision));
    const ImageList pictures(ImageList::Which::ImageList2);
    Image1->setPixmap(pictures.ListImage(4, devicePixelRatioF()));
    Image2->setPixmap(pictures.ListImage(5, devicePixelRatioF()));
}

// Escape closes the box through QDialog's own cancel, as OK does.
void frmAbout::cmdOK_Click() { accept(); }

void frmAbout::cmdSysInfo_Click() { StartSysInfo(); }

void frmAbout::StartSysInfo() {
    std::string path;
    // A path under the first key is taken as it is; a wrong one fails at the start below.
    if (!GetKeyValue(platform_, HKEY_LOCAL_MACHINE, kSysInfoKey, kSysInfoValue, path)) {
        if (!GetKeyValue(platform_, HKEY_LOCAL_MACHINE, kSysInfoFolderKey, kSysInfoFolderValue, path) ||
            platform_.GetFileAttributesA(path + kSysInfoProgram) == INVALID_FILE_ATTRIBUTES) {
            MessageBox::Show(this, kUnavailable, "");
            return;
        }
        path += kSysInfoProgram;
    }
    if (!platform_.StartProgram(path)) MessageBox::Show(this, kUnavailable, "");
}

}  // namespace kelvara
