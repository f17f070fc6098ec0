#include "window_qt/qt_toolkit.h"

#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QFontMetrics>
#include <QScreen>
#include <QTimer>

#include "window_qt/fonts.h"
#include "window_qt/message_box.h"
#include "window_qt/qt_window.h"

namespace kelvara::qt {
namespace {

constexpr const char* kHelpPage = ":/kelvara/help/quickstart.htm";

Rect FromQt(const QRect& rect) { return {rect.x(), rect.y(), rect.width(), rect.height()}; }

}  // namespace

std::unique_ptr<WindowView> QtToolkit::MakeView(const WindowLayout& layout, WindowEvents& events, WindowView* owner) {
    return std::make_unique<QtWindow>(layout, events, dynamic_cast<QtWindow*>(owner));
}

bool QtToolkit::ShowMessage(WindowView* owner, const Message& message) {
    return ShowMessageBox(dynamic_cast<QtWindow*>(owner), message);
}

void QtToolkit::ProcessEvents() { QCoreApplication::processEvents(); }

void QtToolkit::WaitForEvents(int milliseconds) {
    // Sleeps until the next event, but never longer than this, so a wait that ends without an
    // event is not kept waiting.
    QTimer wake;
    wake.start(milliseconds);
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

Rect QtToolkit::Screen() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? FromQt(screen->geometry()) : Rect{};
}

Rect QtToolkit::WorkArea() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? FromQt(screen->availableGeometry()) : Rect{};
}

int QtToolkit::CaptionWidth(const std::string& caption, WindowLayout::Face face) {
    return QFontMetrics(LayoutFont(face)).horizontalAdvance(QString::fromStdString(caption));
}

int QtToolkit::TitleWidth(const std::string& title) {
    return qt::TitleWidth(QString::fromStdString(title), QApplication::font());
}

std::string QtToolkit::HelpPageAddress() { return std::string("qrc") + kHelpPage; }

std::string QtToolkit::HelpPageText() {
    QFile page(kHelpPage);
    if (!page.open(QIODevice::ReadOnly)) return {};
    return page.readAll().toStdString();
}

}  // namespace kelvara::qt
