#include "dialogs/frm_options.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

#include "scan/entry_name.h"
#include "ui/message_box.h"
#include "ui/twips.h"

namespace kelvara {
namespace {

std::optional<QRect>& ScreenOverride() {
    static std::optional<QRect> geometry;
    return geometry;
}

QRect ScreenGeometry() {
    if (ScreenOverride()) return *ScreenOverride();
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry() : QRect();
}

}  // namespace

frmOptions::frmOptions(std::string& Prefix, QWidget* owner) : QDialog(owner), Prefix_(Prefix) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle("Options");
    setFixedSize(TwipsSize(4140, 1200));

    Label1 = new QLabel("Image Prefix:", this);
    Label1->setGeometry(TwipsRect(120, 240, 975, 255));
    txtPreFix = new QLineEdit(this);
    txtPreFix->setGeometry(TwipsRect(1200, 240, 2775, 285));
    txtPreFix->setToolTip("Changes the name of the recovered files");
    cmdOK = new QPushButton("OK", this);
    cmdOK->setGeometry(TwipsRect(1800, 735, 1095, 375));
    cmdOK->setDefault(true);  // Enter keeps what was typed, wherever the focus is; Escape cancels
    cmdCancel = new QPushButton("Cancel", this);
    cmdCancel->setGeometry(TwipsRect(3000, 735, 1095, 375));
    // The layout was drawn for a smaller face than most desktops use: give the caption the
    // room it needs from the text box rather than clip it.
    const int missing = Label1->sizeHint().width() - Label1->width();
    if (missing > 0) {
        Label1->resize(Label1->sizeHint().width(), Label1->height());
        txtPreFix->setGeometry(txtPreFix->geometry().adjusted(missing, 0, 0, 0));
    }

    setTabOrder(cmdOK, cmdCancel);
    setTabOrder(cmdCancel, txtPreFix);
    cmdOK->setFocus();

    connect(cmdOK, &QPushButton::clicked, this, &frmOptions::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmOptions::cmdCancel_Click);
    Form_Load();
}

void frmOptions::SetScreenGeometry(std::optional<QRect> geometry) { ScreenOverride() = geometry; }

void frmOptions::Form_Load() { CentreOnScreen(); }

// The frame is known only once the window is on the screen; centre again with it.
void frmOptions::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (shown_) return;
    shown_ = true;
    CentreOnScreen();
}

void frmOptions::CentreOnScreen() {
    const QRect screen = ScreenGeometry();
    if (screen.isEmpty()) return;
    // Halved in floating point, in twips, and handed to the move as they are; only the
    // conversion to whole pixels rounds.
    const QSize outer = frameGeometry().size();
    const double left = (screen.width() * double(kTwipsPerPixel) - outer.width() * double(kTwipsPerPixel)) / 2.0;
    const double top = (screen.height() * double(kTwipsPerPixel) - outer.height() * double(kTwipsPerPixel)) / 2.0;
    QPoint at(screen.x() + qRound(left / kTwipsPerPixel), screen.y() + qRound(top / kTwipsPerPixel));
    // A second dialog exactly over the first would look like one: it steps down and right by about a
    // title bar, as windows cascade.
    const QPoint step(outer.height() - height(), outer.height() - height());
    for (bool covered = true; covered;) {
        covered = false;
        for (QWidget* other : QApplication::topLevelWidgets())
            if (other != this && qobject_cast<frmOptions*>(other) && other->isVisible() && other->pos() == at) {
                at += step.manhattanLength() > 0 ? step : QPoint(24, 24);
                covered = true;
            }
    }
    move(at);
}

void frmOptions::cmdOK_Click() {
    const QString prefix = txtPreFix->text();
    // An empty box means the user did not ask for a change.
    if (!prefix.isEmpty()) {
        if (!IsUsablePrefix(prefix.toStdString())) {
            MessageBox::ShowFailure(this,
                                    "The image prefix cannot contain any of the characters \\ / : * ? \" < > | "
                                    "or a control character.",
                                    "");
            txtPreFix->setFocus();
            return;
        }
        Prefix_ = prefix.toStdString();
    }
    accept();
}

void frmOptions::cmdCancel_Click() { reject(); }

}  // namespace kelvara
