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
    struct Shown {
        QString text;
        QString title;
        Buttons buttons;
    };
    // A responder answers instead of a real box: true means OK or Yes.
    using Responder = std::function<bool(const Shown&)>;

    // A message with an OK button; returns when it is closed.
    static void Show(QWidget* parent, const QString& text, const QString& title);
    // A question with Yes (the default) and No, no icon; true for Yes.
    static bool AskYesNo(QWidget* parent, const QString& text, const QString& title);

    // Installs a responder for tests; an empty one restores the real boxes.
    static void SetResponder(Responder responder);

private:
    static bool Run(QWidget* parent, const Shown& shown);
};

}  // namespace kelvara
