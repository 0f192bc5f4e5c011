#include "app/ButtonGlyph.h"

#include <QPixmap>

ButtonGlyph ButtonGlyph::fromImage(const QImage& bitmap)
{
    ButtonGlyph glyph;
    const int side = bitmap.height();
    if (side == 0 || bitmap.width() != 2 * side) {
        glyph.error_ = QStringLiteral("A button glyph holds two square images side by side; this bitmap is %1 x %2")
                           .arg(bitmap.width())
                           .arg(bitmap.height());
        return glyph;
    }

    QImage image = bitmap.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QRgb background = image.pixel(0, side - 1);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (line[x] == background) line[x] = qRgba(0, 0, 0, 0);
        }
    }
    glyph.normal_ = image.copy(0, 0, side, side);
    glyph.disabled_ = image.copy(side, 0, side, side);
    return glyph;
}

ButtonGlyph ButtonGlyph::fromFile(const QString& path)
{
    QImage bitmap;
    if (!bitmap.load(path)) {
        ButtonGlyph glyph;
        glyph.error_ = path + QStringLiteral(": cannot read the glyph bitmap");
        return glyph;
    }
    ButtonGlyph glyph = fromImage(bitmap);
    if (glyph.isNull()) glyph.error_ = path + QStringLiteral(": ") + glyph.error_;
    return glyph;
}

QIcon ButtonGlyph::icon() const
{
    QIcon icon;
    if (isNull()) return icon;
    icon.addPixmap(QPixmap::fromImage(normal_), QIcon::Normal);
    icon.addPixmap(QPixmap::fromImage(disabled_), QIcon::Disabled);
    return icon;
}
