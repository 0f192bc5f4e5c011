#include "app/ButtonGlyph.h"

#include <QImage>
#include <gtest/gtest.h>

namespace {

int opaquePixels(const QImage& image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) count += qAlpha(image.pixel(x, y)) == 0 ? 0 : 1;
    return count;
}

} // namespace

TEST(Pictures, StoredGlyphsHaveBothImagesOnATransparentBackground)
{
    for (const char* name : { "glyph-connect.bmp", "glyph-auto.bmp", "glyph-altitude.bmp" }) {
        SCOPED_TRACE(name);
        const QString path = QStringLiteral(":/pictures/") + QLatin1String(name);
        const QImage bitmap(path);
        ASSERT_EQ(bitmap.size(), QSize(32, 16));
        EXPECT_LE(bitmap.colorCount(), 16);

        const ButtonGlyph glyph = ButtonGlyph::fromFile(path);
        ASSERT_FALSE(glyph.isNull()) << glyph.errorString().toStdString();
        EXPECT_EQ(qAlpha(glyph.normal().pixel(0, 15)), 0);
        EXPECT_EQ(qAlpha(glyph.disabled().pixel(0, 15)), 0);
        EXPECT_GT(opaquePixels(glyph.normal()), 10);
        EXPECT_GT(opaquePixels(glyph.disabled()), 10);
        EXPECT_NE(glyph.normal(), glyph.disabled());
    }
}

TEST(Pictures, WindowIconIs32By32In16ColoursWithTransparentCorners)
{
    const QImage icon(QStringLiteral(":/pictures/icon.png"));
    ASSERT_EQ(icon.size(), QSize(32, 32));
    EXPECT_GE(icon.colorCount(), 2);
    EXPECT_LE(icon.colorCount(), 16);
    for (const QPoint corner : { QPoint(0, 0), QPoint(31, 0), QPoint(0, 31), QPoint(31, 31) })
        EXPECT_EQ(qAlpha(icon.pixel(corner)), 0);
    EXPECT_EQ(qAlpha(icon.pixel(16, 16)), 255);
}
