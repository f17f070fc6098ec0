#include "dialogs/message_box.h"

#include <QApplication>
#include <QMessageBox>

namespace kelvara {
namespace {
MessageBox::Responder& CurrentResponder() {
    static MessageBox::Responder responder;
    return responder;
}
}  // namespace

void MessageBox::SetResponder(Responder responder) { CurrentResponder() = std::move(responder); }

void MessageBox::Show(QWidget* parent, const QString& text, const QString& title) {
    Run(parent, {text, title, Buttons::Ok});
}

bool MessageBox::AskYesNo(QWidget* parent, const QString& text, const QString& title) {
    return Run(parent, {text, title, Buttons::YesNo});
}

bool MessageBox::Run(QWidget* parent, const Shown& shown) {
    if (CurrentResponder()) return CurrentResponder()(shown);
    // An empty title is the application's own, as the boxes of the window system show it.
    const QString title = shown.title.isEmpty() ? QApplication::applicationName() : shown.title;
    if (shown.buttons == Buttons::Ok) {
        QMessageBox::information(parent, title, shown.text);
        return true;
    }
    QMessageBox box(QMessageBox::NoIcon, title, shown.text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

}  // namespace kelvara
