// The artwork is compiled into a static library; these tests load it from a test program, so
// they also prove that the resources reach programs that link the library.

#include <gtest/gtest.h>

#include <QIcon>
#include <QImage>
#include <QSet>

#include "resources/pictures.h"
#include "window_qt/image_lists.h"

namespace kelvara {
namespace {

int DistinctColours(const QImage& image) {
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) colours.insert(image.pixel(x, y));
    return static_cast<int>(colours.size());
}

double CoveredShare(const QImage& image) {
    int covered = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) covered += qAlpha(image.pixel(x, y)) > 0;
    return double(covered) / (image.width() * image.height());
}

// Nearly white pixels in a band of rows: the guide pictures draw their words in white.
int WhitePixels(const QImage& image, int top, int bottom) {
    int white = 0;
    for (int y = top; y < bottom; ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            white += qRed(p) > 230 && qGreen(p) > 230 && qBlue(p) > 230;
        }
    return white;
}

void ExpectDrawn(const QPixmap& pixmap, QSize size, const char* what) {
    ASSERT_FALSE(pixmap.isNull()) << what;
    EXPECT_EQ(pixmap.size(), size) << what;
    const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    EXPECT_GT(DistinctColours(image), 8) << what << " looks blank";
    EXPECT_GT(CoveredShare(image), 0.2) << what << " is mostly empty";
}

using qt::ListIcon;
using qt::ListImage;

TEST(ImageListTest, ToolbarIconsAreSixDistinct48PixelPictures) {
    constexpr auto list = ImageListId::ImageList1;
    ASSERT_EQ(ImageListPictures(list).size(), 6u);
    QList<QImage> seen;
    for (int i = 1; i <= 6; ++i) {
        const QPixmap icon = ListImage(list, i);
        ExpectDrawn(icon, {48, 48}, qPrintable(QString("ImageList1 picture %1").arg(i)));
        const QImage image = icon.toImage();
        for (const QImage& earlier : seen) EXPECT_NE(image, earlier) << "picture " << i << " repeats an earlier one";
        seen.push_back(image);
        EXPECT_FALSE(ListIcon(list, i).isNull());
    }
}

TEST(ImageListTest, PicturesHaveTheirOwnSizesAndTheGuidesAreOpaqueWithWords) {
    constexpr auto list = ImageListId::ImageList2;
    ASSERT_EQ(ImageListPictures(list).size(), 5u);
    const QSize sizes[] = {{256, 256}, {256, 256}, {256, 256}, {277, 75}, {32, 32}};
    for (int i = 1; i <= 5; ++i)
        ExpectDrawn(ListImage(list, i), sizes[i - 1], qPrintable(QString("ImageList2 picture %1").arg(i)));

    // On a screen scaled by 1.5 a picture is drawn with 1.5 device pixels to its pixel, not enlarged.
    const QPixmap scaled = ListImage(list, 1, 1.5);
    EXPECT_EQ(scaled.size(), QSize(384, 384));
    EXPECT_EQ(scaled.deviceIndependentSize(), QSizeF(256, 256));

    QList<QImage> guides;
    for (int i = 1; i <= 3; ++i) {
        const QImage guide = ListImage(list, i).toImage().convertToFormat(QImage::Format_ARGB32);
        EXPECT_EQ(CoveredShare(guide), 1.0) << "guide " << i << " must be a full-colour picture";
        // The name at the top and the prompt below are drawn in a font that must exist here.
        EXPECT_GT(WhitePixels(guide, 8, 70), 200) << "guide " << i << " lost its title";
        EXPECT_GT(WhitePixels(guide, 100, 230), 400) << "guide " << i << " lost its prompt";
        for (const QImage& earlier : guides) EXPECT_NE(guide, earlier) << "guide " << i << " repeats a prompt";
        guides.push_back(guide);
    }
}

TEST(ImageListTest, IndexesOutsideTheListGiveNothing) {
    for (auto list : {ImageListId::ImageList1, ImageListId::ImageList2}) {
        EXPECT_TRUE(ListImage(list, 0).isNull());
        EXPECT_TRUE(ListImage(list, static_cast<int>(ImageListPictures(list).size()) + 1).isNull());
        EXPECT_TRUE(ListIcon(list, -1).isNull());
    }
}

TEST(WindowIconTest, OffersBoth32And16Pixels) {
    const QIcon icon = qt::KelvaraWindowIcon();
    const QList<QSize> sizes = icon.availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(32, 32)));
    EXPECT_TRUE(sizes.contains(QSize(16, 16)));
    ExpectDrawn(icon.pixmap(QSize(32, 32)), {32, 32}, "window icon at 32");
    ExpectDrawn(icon.pixmap(QSize(16, 16)), {16, 16}, "window icon at 16");
}

}  // namespace
}  // namespace kelvara
