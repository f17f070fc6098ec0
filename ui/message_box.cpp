#include "ui/message_box.h"

#include <QApplication>
#include <QGridLayout>
#include <QMessageBox>

#include "ui/title_width.h"

namespace kelvara {
namespace {

MessageBox::Responder& CurrentResponder() {
    static MessageBox::Responder responder;
    return responder;
}

constexpr QChar kBreak(0x200B);  // zero-width space: a place to break that shows nothing
constexpr int kLongWord = 30;    // characters in a row with no place to break

// The text with places to break a line inside long paths and names, which a box would
// otherwise run past its edge.
QString Wrappable(const QString& text) {
    QString result;
    result.reserve(text.size() + text.size() / 8);
    int wordLength = 0;  // characters since the last space or break
    for (const QChar c : text) {
        result += c;
        wordLength = c.isSpace() ? 0 : wordLength + 1;
        // After every folder of a path, and within any other word too long for a line.
        if (c == '\\' || c == '/' || wordLength == kLongWord) {
            result += kBreak;
            wordLength = 0;
        }
    }
    return result;
}

}  // namespace

void MessageBox::SetResponder(Responder responder) { CurrentResponder() = std::move(responder); }

void MessageBox::Show(QWidget* parent, const QString& text, const QString& title) {
    Run(parent, {text, title, Buttons::Ok, Icon::None});
}

void MessageBox::ShowFailure(QWidget* parent, const QString& text, const QString& title) {
    Run(parent, {text, title, Buttons::Ok, Icon::Warning});
}

bool MessageBox::AskYesNo(QWidget* parent, const QString& text, const QString& title) {
    return Run(parent, {text, title, Buttons::YesNo, Icon::None});
}

bool MessageBox::Run(QWidget* parent, const Shown& shown) {
    if (CurrentResponder()) return CurrentResponder()(shown);
    // An empty title is the application's own, as the boxes of the window system show it.
    const QString title = shown.title.isEmpty() ? QApplication::applicationName() : shown.title;
    const auto icon = shown.icon == Icon::Warning ? QMessageBox::Warning : QMessageBox::NoIcon;
    const auto buttons = shown.buttons == Buttons::Ok ? QMessageBox::Ok : QMessageBox::Yes | QMessageBox::No;
    QMessageBox box(icon, title, Wrappable(shown.text), buttons, parent);
    box.setDefaultButton(shown.buttons == Buttons::Ok ? QMessageBox::Ok : QMessageBox::Yes);
    // Wide enough for its title beside the frame's buttons: a short text would leave it cut.
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
        grid->addItem(new QSpacerItem(TitleWidth(title, box.font()), 0), grid->rowCount(), 0, 1, grid->columnCount());
    const int answer = box.exec();
    return shown.buttons == Buttons::Ok || answer == QMessageBox::Yes;
}

}  // namespace kelvara
