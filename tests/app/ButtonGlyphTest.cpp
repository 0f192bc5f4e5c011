#include "app/ButtonGlyph.h"

#include <QPixmap>
#include <gtest/gtest.h>

namespace {

bool transparent(const QImage& image, int x, int y) { return qAlpha(image.pixel(x, y)) == 0; }

int opaquePixels(const QImage& image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) count += transparent(image, x, y) ? 0 : 1;
    return count;
}

} // namespace

TEST(ButtonGlyph, SplitsIntoNormalAndDisabledWithTheBottomLeftColourTransparent)
{
    const QRgb olive = qRgb(128, 128, 0);
    QImage bitmap(32, 16, QImage::Format_RGB32);
    bitmap.fill(olive);
    bitmap.setPixel(3, 4, qRgb(255, 0, 0));
    bitmap.setPixel(15, 0, qRgb(0, 0, 0));
    bitmap.setPixel(16 + 5, 6, qRgb(128, 128, 128));
    bitmap.setPixel(31, 15, qRgb(255, 255, 255));

    const ButtonGlyph glyph = ButtonGlyph::fromImage(bitmap);
    ASSERT_FALSE(glyph.isNull()) << glyph.errorString().toStdString();
    ASSERT_EQ(glyph.normal().size(), QSize(16, 16));
    ASSERT_EQ(glyph.disabled().size(), QSize(16, 16));

    EXPECT_EQ(glyph.normal().pixel(3, 4), qRgb(255, 0, 0));
    EXPECT_EQ(glyph.normal().pixel(15, 0), qRgb(0, 0, 0));
    EXPECT_EQ(glyph.disabled().pixel(5, 6), qRgb(128, 128, 128));
    EXPECT_EQ(glyph.disabled().pixel(15, 15), qRgb(255, 255, 255));
    EXPECT_EQ(opaquePixels(glyph.normal()), 2);
    EXPECT_EQ(opaquePixels(glyph.disabled()), 2);

    // The button takes the disabled image from the icon, not a greyed copy of its own.
    const QIcon icon = glyph.icon();
    const auto fromIcon = [&](QIcon::Mode mode) {
        return icon.pixmap(QSize(16, 16), mode).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    };
    EXPECT_EQ(fromIcon(QIcon::Normal), glyph.normal());
    EXPECT_EQ(fromIcon(QIcon::Disabled), glyph.disabled());
}

TEST(ButtonGlyph, BitmapThatIsNotTwoSquaresSideBySideIsRefused)
{
    for (const QSize size : { QSize(0, 0), QSize(16, 16), QSize(33, 16), QSize(32, 17) }) {
        SCOPED_TRACE(testing::Message() << size.width() << " x " << size.height());
        QImage bitmap(size, QImage::Format_RGB32);
        bitmap.fill(Qt::white);
        const ButtonGlyph glyph = ButtonGlyph::fromImage(bitmap);
        EXPECT_TRUE(glyph.isNull());
        EXPECT_FALSE(glyph.errorString().isEmpty());
        EXPECT_TRUE(glyph.icon().isNull());
    }
}
