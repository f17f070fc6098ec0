#include "ui/title_width.h"

#include <QFontMetrics>

namespace kelvara {
namespace {

constexpr int kTitleBarButtons = 120;  // pixels a window frame takes from its title: icon, buttons

}  // namespace

int TitleWidth(const QString& title, const QFont& font) {
    QFont bold = font;
    bold.setBold(true);
    return QFontMetrics(bold).horizontalAdvance(title) + kTitleBarButtons;
}

}  // namespace kelvara
