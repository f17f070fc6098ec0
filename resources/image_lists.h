#pragma once
// The two image lists of the main window and the window icon, drawn from our own artwork.

#include <QIcon>
#include <QPixmap>

namespace kelvara {

// Pictures are counted from 1, as the image-list control counts them. An index outside the
// list gives a null picture.
class ImageList {
public:
    // ImageList1: the six 48 by 48 toolbar icons (Scan, Options, Help, About, Image Disk,
    // Disk Wipe). ImageList2: the three 256 by 256 guide pictures, the 277 by 75 logo banner
    // and the 32 by 32 camera.
    enum class Which { ImageList1, ImageList2 };

    explicit ImageList(Which which);

    int Count() const;
    // The picture at its own size, drawn for a screen with `devicePixelRatio` device pixels to
    // a pixel, so a scaled screen shows it sharp rather than enlarged.
    QPixmap ListImage(int index, qreal devicePixelRatio = 1.0) const;
    QIcon Icon(int index) const;

private:
    Which which_;
};

// A memory card with a lens on it, drawn for 32 and for 16 pixels.
QIcon KelvaraWindowIcon();

}  // namespace kelvara
