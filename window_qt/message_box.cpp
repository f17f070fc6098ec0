#include "window_qt/message_box.h"

#include <QApplication>
#include <QGridLayout>
#include <QMessageBox>

#include "window_qt/fonts.h"

namespace kelvara::qt {
namespace {

MessageResponder& CurrentResponder() {
    static MessageResponder responder;
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

void SetMessageResponder(MessageResponder responder) { CurrentResponder() = std::move(responder); }

bool ShowMessageBox(QWidget* parent, const Message& message) {
    if (CurrentResponder()) return CurrentResponder()(message);
    const QString title = QString::fromStdString(message.title);
    const bool question = message.buttons == Message::Buttons::YesNo;
    const auto icon = message.icon == Message::Icon::Warning ? QMessageBox::Warning : QMessageBox::NoIcon;
    const auto buttons = question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok;
    QMessageBox box(icon, title, Wrappable(QString::fromStdString(message.text)), buttons, parent);
    box.setDefaultButton(question ? QMessageBox::Yes : QMessageBox::Ok);
    // Wide enough for its title beside the frame's buttons: a short text would leave it cut.
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
        grid->addItem(new QSpacerItem(TitleWidth(title, box.font()), 0), grid->rowCount(), 0, 1, grid->columnCount());
    const int answer = box.exec();
    return !question || answer == QMessageBox::Yes;
}

}  // namespace kelvara::qt
