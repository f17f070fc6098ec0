#include "dialogs/etched_line.h"

#include <QPainter>

namespace kelvara {

EtchedLine::EtchedLine(QWidget* parent) : QWidget(parent) { setFixedHeight(2); }

void EtchedLine::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(QColor(kShadow));
    painter.drawLine(0, 0, width() - 1, 0);
    painter.setPen(QColor(kHighlight));
    painter.drawLine(0, 1, width() - 1, 1);
}

}  // namespace kelvara
