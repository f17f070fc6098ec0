#include "window_qt/image_lists.h"

#include <QFont>
#include <QPainter>
#include <QSvgRenderer>

namespace kelvara::qt {
namespace {

QString SvgPath(const char* name) { return QStringLiteral(":/kelvara/svg/%1.svg").arg(QLatin1String(name)); }

// The prompts of the guide pictures ask for "Z003", a script face that few machines have;
// without it they fall back to an italic serif rather than to the plain default face.
void RegisterScriptFace() {
    static const bool registered = [] {
        QFont::insertSubstitutions("Z003", {"URW Chancery L", "TeX Gyre Chorus", "DejaVu Serif"});
        return true;
    }();
    (void)registered;
}

QPixmap Render(const QString& path, QSize size) {
    RegisterScriptFace();
    QSvgRenderer renderer(path);
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

QPixmap ListImage(ImageListId list, int index, qreal devicePixelRatio) {
    const PictureFile* picture = ListPicture(list, index);
    if (!picture) return {};
    QPixmap pixmap = Render(SvgPath(picture->name), (QSizeF(picture->width, picture->height) * devicePixelRatio).toSize());
    pixmap.setDevicePixelRatio(devicePixelRatio);
    return pixmap;
}

QIcon ListIcon(ImageListId list, int index) {
    const PictureFile* picture = ListPicture(list, index);
    if (!picture) return {};
    const QSize size(picture->width, picture->height);
    QIcon icon;
    icon.addPixmap(Render(SvgPath(picture->name), size));
    icon.addPixmap(Render(SvgPath(picture->name), size * 2));
    for (int side : {16, 24, 32})
        if (side < picture->width) icon.addPixmap(Render(SvgPath(picture->name), size.scaled(side, side, Qt::KeepAspectRatio)));
    return icon;
}

QIcon KelvaraWindowIcon() {
    QIcon icon;
    icon.addPixmap(Render(SvgPath(kWindowIconSmall), {16, 16}));
    for (int side : {24, 32, 48, 64}) icon.addPixmap(Render(SvgPath(kWindowIcon), {side, side}));
    return icon;
}

}  // namespace kelvara::qt
