#pragma once
// The windows are laid out in twips, 15 to a pixel on the screens they were drawn for.

#include <QFont>
#include <QRect>
#include <QSize>
#include <QStringList>
#include <QWidget>

namespace kelvara {

inline constexpr int kTwipsPerPixel = 15;

constexpr int Twips(int twips) { return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel; }

constexpr QRect TwipsRect(int left, int top, int width, int height) {
    return QRect(Twips(left), Twips(top), Twips(width), Twips(height));
}

constexpr QSize TwipsSize(int width, int height) { return QSize(Twips(width), Twips(height)); }

// The layouts were drawn for the small system font of their day; today's default face would
// run captions past the edges of their controls. `faces`, when given, are the faces to take
// instead of the default one, the first installed first.
inline void UseLayoutFont(QWidget* window, const QStringList& faces = {}) {
    QFont small = window->font();
    if (!faces.isEmpty()) small.setFamilies(faces);
    small.setPixelSize(11);
    window->setFont(small);
}

}  // namespace kelvara
