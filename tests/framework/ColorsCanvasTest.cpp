#include "framework/Canvas.h"
#include "framework/Colors.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPalette>
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
