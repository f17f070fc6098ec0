#pragma once
// Every message box of the windows goes through here, so tests can read and answer them
// without a person at the screen.

#include <QString>
#include <functional>

class QWidget;

namespace kelvara {

class MessageBox {
public:
    enum class Buttons { Ok, YesNo };
    // The messages and questions the program has always had show no icon; a failure shows the
    // warning sign, so it does not look like news.
    enum class Icon { None, Warning };
    struct Shown {
        QString text;
        QString title;
        Buttons buttons;
        Icon icon = Icon::None;
    };
    // A responder answers instead of a real box: true means OK or Yes.
    using Responder = std::function<bool(const Shown&)>;

    // A message with an OK button and no icon; returns when it is closed.
    static void Show(QWidget* parent, const QString& text, const QString& title);
    // What went wrong, with an OK button and the warning icon.
    static void ShowFailure(QWidget* parent, const QString& text, const QString& title);
    // A question with Yes (the default) and No, no icon; true for Yes.
    static bool AskYesNo(QWidget* parent, const QString& text, const QString& title);

    // Installs a responder for tests; an empty one restores the real boxes.
    static void SetResponder(Responder responder);

private:
    static bool Run(QWidget* parent, const Shown& shown);
};

}  // namespace kelvara
