#include "window_qt/fonts.h"

#include <QApplication>
#include <QFontMetrics>

namespace kelvara::qt {
namespace {

constexpr int kTitleBarButtons = 120;  // pixels a window frame takes from its title: icon, buttons

}  // namespace

QFont LayoutFont(WindowLayout::Face face) {
    QFont font = QApplication::font();
    if (face == WindowLayout::Face::Narrow)
        font.setFamilies({"Nimbus Sans", "Liberation Sans", "Arial", "DejaVu Sans Condensed", "DejaVu Sans"});
    font.setPixelSize(11);
    return font;
}

int TitleWidth(const QString& title, const QFont& font) {
    QFont bold = font;
    bold.setBold(true);
    return QFontMetrics(bold).horizontalAdvance(title) + kTitleBarButtons;
}

}  // namespace kelvara::qt
