#pragma once
// The pictures of the two image lists and the window icon, drawn from our SVG artwork.

#include <QIcon>
#include <QPixmap>

#include "resources/pictures.h"

namespace kelvara::qt {

// Picture `index` (from 1) of a list at its own size, drawn for a screen with
// `devicePixelRatio` device pixels to a pixel, so a scaled screen shows it sharp rather than
// enlarged. A null picture outside the list.
QPixmap ListImage(ImageListId list, int index, qreal devicePixelRatio = 1.0);
// The same as an icon, drawn afresh for every size an icon is commonly shown at.
QIcon ListIcon(ImageListId list, int index);

// A memory card with a lens on it, drawn for 32 and for 16 pixels.
QIcon KelvaraWindowIcon();

}  // namespace kelvara::qt
