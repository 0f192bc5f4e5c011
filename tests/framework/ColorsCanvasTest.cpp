#include "framework/Canvas.h"
#include "framework/Colors.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <functional>
#include <gtest/gtest.h>

using namespace fw;

TEST(TColor, RgbIsStoredAsBGRAndSystemColoursComeFromThePalette)
{
    EXPECT_EQ(ColorToQColor(clRed), QColor(255, 0, 0));
    EXPECT_EQ(ColorToQColor(clOlive), QColor(128, 128, 0));
    EXPECT_EQ(ColorToQColor(0x00123456), QColor(0x56, 0x34, 0x12));
    const QPalette palette = QApplication::palette();
    EXPECT_EQ(ColorToQColor(clBtnFace), palette.color(QPalette::Button));
    EXPECT_EQ(ColorToQColor(clBtnShadow), palette.color(QPalette::Dark));
    EXPECT_EQ(ColorToQColor(clBtnHighlight), palette.color(QPalette::Light));
}

TEST(TCanvas, FiguresCoverLeftToRightMinusOneAndPolygonsTheirVertices)
{
    QImage image(20, 20, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        TCanvas canvas(painter);
        canvas.setPenColor(clBlack);
        canvas.setBrushColor(clRed);
        canvas.RoundRect(2, 2, 8, 6, 1, 1);
        canvas.Polygon({{10, 10}, {15, 10}, {10, 15}});
    }
    EXPECT_EQ(image.pixelColor(2, 2), QColor(Qt::black));
    EXPECT_EQ(image.pixelColor(7, 5), QColor(Qt::black));
    EXPECT_EQ(image.pixelColor(8, 5), QColor(Qt::white));
    EXPECT_EQ(image.pixelColor(7, 6), QColor(Qt::white));
    EXPECT_EQ(image.pixelColor(4, 4), QColor(Qt::red));
    EXPECT_EQ(image.pixelColor(15, 10), QColor(Qt::black));
    EXPECT_EQ(image.pixelColor(10, 15), QColor(Qt::black));
    EXPECT_EQ(image.pixelColor(16, 10), QColor(Qt::white));
}

namespace {

QImage drawn(int width, int height, const std::function<void(TCanvas&)>& draw)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    TCanvas canvas(painter);
    canvas.setPenColor(clBlack);
    canvas.setBrushColor(clRed);
    draw(canvas);
    return image;
}

QRect covered(const QImage& image)
{
    QRect found;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != qRgb(255, 255, 255)) found |= QRect(x, y, 1, 1);
    return found;
}

bool mirrorsItself(const QImage& image, QRect area)
{
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (image.pixel(x, y) != image.pixel(area.right() - (x - area.left()), area.bottom() - (y - area.top())))
                return false;
    return true;
}

} // namespace

// Qt's own aliased ellipse spills past the sides of a box that is not square;
// ours must cover the box exactly, for every lamp size and proportion.
TEST(TCanvas, EllipseCoversExactlyItsBoxAndIsSymmetric)
{
    for (int w = 4; w <= 80; w += 3) {
        for (int h : {4, 5, 10, 13, w}) {
            const QImage image = drawn(90, 90, [&](TCanvas& c) { c.Ellipse(2, 3, 2 + w, 3 + h); });
            const QRect box(2, 3, w, h);
            ASSERT_EQ(covered(image), box) << w << " x " << h;
            EXPECT_TRUE(mirrorsItself(image, box)) << w << " x " << h;
            EXPECT_EQ(image.pixel(box.center()), qRgb(255, 0, 0)) << w << " x " << h;
        }
    }
}

TEST(TCanvas, PolygonOutlinePassesThroughEveryVertexAndNoFurther)
{
    const std::vector<std::vector<QPoint>> polygons = {
        {{0, 6}, {12, 0}, {12, 12}},
        {{6, 0}, {12, 12}, {0, 12}},
        {{0, 0}, {6, 0}, {13, 13}, {6, 13}},
        {{0, 0}, {39, 9}, {0, 19}},
    };
    for (const auto& points : polygons) {
        const QImage image = drawn(45, 25, [&](TCanvas& c) { c.Polygon(points); });
        QRect hull;
        for (QPoint p : points) {
            EXPECT_EQ(image.pixel(p), qRgb(0, 0, 0)) << p.x() << "," << p.y();
            hull |= QRect(p, QSize(1, 1));
        }
        EXPECT_EQ(covered(image), hull);
    }
    // An arrow drawn either way round is the same mirror-symmetric figure.
    const QImage left = drawn(13, 13, [](TCanvas& c) { c.Polygon({{0, 6}, {12, 0}, {12, 12}}); });
    const QImage reversed = drawn(13, 13, [](TCanvas& c) { c.Polygon({{12, 12}, {12, 0}, {0, 6}}); });
    EXPECT_EQ(left, reversed);
    EXPECT_EQ(left, left.mirrored(false, true));
}

TEST(TCanvas, ArcDrawsTheQuarterBetweenItsTwoDirections)
{
    const QImage image = drawn(13, 13, [](TCanvas& c) {
        c.setBrushStyle(TBrushStyle::bsClear);
        c.Arc(0, 0, 13, 13, 6, 0, 0, 6); // from straight up, counter-clockwise to straight left
    });
    EXPECT_EQ(image.pixel(6, 0), qRgb(0, 0, 0));
    EXPECT_EQ(image.pixel(0, 6), qRgb(0, 0, 0));
    EXPECT_EQ(covered(image), QRect(0, 0, 7, 7));

    // A wide pen draws a band as wide as the pen across the outline.
    const QImage wide = drawn(51, 51, [](TCanvas& c) {
        c.setPenWidth(4);
        c.Arc(5, 5, 46, 46, 25, 5, 5, 25);
    });
    int band = 0;
    for (int x = 0; x < 51; ++x) band += wide.pixel(x, 25) == qRgb(0, 0, 0);
    EXPECT_EQ(band, 4);
}
