#pragma once
// A separator cut into the window: a gray line with a white one just below it.

#include <QWidget>

namespace kelvara {

class EtchedLine : public QWidget {
public:
    explicit EtchedLine(QWidget* parent);

    static constexpr QRgb kShadow = 0x808080;
    static constexpr QRgb kHighlight = 0xFFFFFF;

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace kelvara
