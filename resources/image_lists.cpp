#include "resources/image_lists.h"

#include <QFont>
#include <QPainter>
#include <QSvgRenderer>
#include <span>

namespace kelvara {
namespace {

struct Picture {
    const char* path;
    int width;
    int height;
};

constexpr Picture kToolbarIcons[] = {
    {":/kelvara/svg/scan.svg", 48, 48},       {":/kelvara/svg/options.svg", 48, 48},
    {":/kelvara/svg/help.svg", 48, 48},       {":/kelvara/svg/about.svg", 48, 48},
    {":/kelvara/svg/image_disk.svg", 48, 48}, {":/kelvara/svg/disk_wipe.svg", 48, 48},
};

constexpr Picture kPictures[] = {
    {":/kelvara/svg/guide_select_drive.svg", 256, 256},
    {":/kelvara/svg/guide_click_scan.svg", 256, 256},
    {":/kelvara/svg/guide_select_images.svg", 256, 256},
    {":/kelvara/svg/logo_banner.svg", 277, 75},
    {":/kelvara/svg/camera.svg", 32, 32},
};

std::span<const Picture> Pictures(ImageList::Which which) {
    if (which == ImageList::Which::ImageList1) return kToolbarIcons;
    return kPictures;
}

// The prompts of the guide pictures ask for "Z003", a script face that few machines have;
// without it they fall back to an italic serif rather than to the plain default face.
void RegisterScriptFace() {
    static const bool registered = [] {
        QFont::insertSubstitutions("Z003", {"URW Chancery L", "TeX Gyre Chorus", "DejaVu Serif"});
        return true;
    }();
    (void)registered;
}

QPixmap Render(const char* path, QSize size) {
    RegisterScriptFace();
    QSvgRenderer renderer(QString::fromLatin1(path));
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    if (!renderer.isValid()) return pixmap;
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    renderer.render(&painter);
    return pixmap;
}

}  // namespace

ImageList::ImageList(Which which) : which_(which) {}

int ImageList::Count() const { return static_cast<int>(Pictures(which_).size()); }

QPixmap ImageList::ListImage(int index, qreal devicePixelRatio) const {
    if (index < 1 || index > Count()) return {};
    const Picture& picture = Pictures(which_)[static_cast<std::size_t>(index - 1)];
    QPixmap pixmap = Render(picture.path, (QSizeF(picture.width, picture.height) * devicePixelRatio).toSize());
    pixmap.setDevicePixelRatio(devicePixelRatio);
    return pixmap;
}

QIcon ImageList::Icon(int index) const {
    if (index < 1 || index > Count()) return {};
    const Picture& picture = Pictures(which_)[static_cast<std::size_t>(index - 1)];
    const QSize size(picture.width, picture.height);
    // Drawn afresh for every size an icon is commonly shown at, so none is a blurred scale.
    QIcon icon;
    icon.addPixmap(Render(picture.path, size));
    icon.addPixmap(Render(picture.path, size * 2));
    for (int side : {16, 24, 32})
        if (side < picture.width) icon.addPixmap(Render(picture.path, size.scaled(side, side, Qt::KeepAspectRatio)));
    return icon;
}

QIcon KelvaraWindowIcon() {
    QIcon icon;
    icon.addPixmap(Render(":/kelvara/svg/window_icon_16.svg", {16, 16}));
    for (int side : {24, 32, 48, 64}) icon.addPixmap(Render(":/kelvara/svg/window_icon.svg", {side, side}));
    return icon;
}

}  // namespace kelvara
