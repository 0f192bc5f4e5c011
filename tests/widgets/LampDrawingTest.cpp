#include "LampTestSupport.h"
#include "widgets/AbLED.h"

#include <QCoreApplication>
#include <QDir>
#include <QGridLayout>
#include <QPainter>
#include <QScreen>
#include <QtTest/QTest>
#include <functional>
#include <gtest/gtest.h>

using namespace AbFlashT;
using namespace AbProc;
using namespace GClass;

using namespace lamptest;

namespace {

// Lamps as the pixels they cover, written out by hand from the geometry of
// each shape: 'o' outline (button shadow), '#' fill, 'h' highlight, '.' not
// drawn.

// The 13 x 13 circle of every panel lamp: the outline touches all four sides
// of its box, the highlight is the upper-left quarter of the circle inset by
// 13 div 5 = 2, one pixel wide (13 div 8 = 1).
const QStringList round13 = {
    "....ooooo....",
    "...o#####o...",
    "..o##hh###o..",
    ".o#hh######o.",
    "o##h########o",
    "o#h#########o",
    "o#h#########o",
    "o###########o",
    "o###########o",
    ".o#########o.",
    "..o#######o..",
    "...o#####o...",
    "....ooooo....",
};

// `rows` drawn into `image` with their top-left corner at `at`, the fill in `fill`.
void drawPixels(QImage& image, QPoint at, const QStringList& rows, QRgb fill)
{
    for (int y = 0; y < rows.size(); ++y) {
        for (int x = 0; x < rows[y].size(); ++x) {
            const char c = rows[y][x].toLatin1();
            if (c == '.') continue;
            image.setPixel(at + QPoint(x, y), c == 'o' ? shadow() : c == 'h' ? highlight() : fill);
        }
    }
}

// A control-sized picture over the test background.
QImage blank(const QWidget& w)
{
    QImage image(w.size(), QImage::Format_RGB32);
    image.fill(background);
    return image;
}

// Text lines as Qt draws them in the lamp's font and text colour, each given by
// the top-left corner of its line box.
void drawText(QImage& image, const TAbLED& led, const std::vector<std::pair<QPoint, QString>>& lines)
{
    QPainter painter(&image);
    painter.setFont(led.font());
    painter.setPen(led.palette().color(QPalette::WindowText));
    const int ascent = QFontMetrics(led.font()).ascent();
    for (const auto& [topLeft, text] : lines) painter.drawText(topLeft + QPoint(0, ascent), text);
}

QFontMetrics metricsOf(const QWidget& w)
{
    return QFontMetrics(w.font());
}

} // namespace

TEST(LampPainting, NewLampDrawsAButtonFaceCircleInItsLeftMiddle)
{
    TAbLED led;
    EXPECT_EQ(led.size(), QSize(73, 33));
    EXPECT_EQ(led.Mode(), mIndicator);
    EXPECT_EQ(led.Frequency(), ff1Hz);
    const QImage image = render(led);

    EXPECT_EQ(drawnExtent(image, image.rect()), QRect(0, 10, 13, 13));
    EXPECT_EQ(led.LED().Bounds(), (fw::TRect{0, 10, 13, 23}));
    for (QPoint edge : {QPoint(0, 16), QPoint(12, 16), QPoint(6, 10), QPoint(6, 22)})
        EXPECT_EQ(image.pixel(edge), shadow()) << edge.x() << "," << edge.y();
    EXPECT_EQ(image.pixel(6, 16), face());
    EXPECT_EQ(image.pixel(9, 19), face());
    // The highlight: the upper-left quarter of the circle inset by 13 div 5 = 2.
    EXPECT_EQ(image.pixel(6, 12), highlight());
    EXPECT_EQ(image.pixel(2, 16), highlight());
    EXPECT_EQ(image.pixel(10, 16), face());
    EXPECT_EQ(image.pixel(6, 20), face());
}

TEST(LampPainting, PanelLampsLandWhereTheirSizeAndCaptionPutThem)
{
    struct Case {
        QSize size;
        QString caption;
        fw::TRect lamp;
        int captionMiddle;
    };
    const Case cases[] = {
        {{73, 33}, "Lamp", {0, 10, 13, 23}, 16}, // a new lamp with a caption: x = 18, centred on 16
        {{39, 31}, "SPI", {0, 9, 13, 22}, 15},   // Ident
        {{17, 25}, "", {0, 6, 13, 19}, 12},      // Intled
    };
    for (const Case& c : cases) {
        QWidget window;
        TAbLED led(&window);
        led.resize(c.size);
        led.setCaption(c.caption);
        const int top = c.captionMiddle - metricsOf(led).height() / 2;
        QImage wanted = blank(led);
        drawText(wanted, led, {{{18, top}, c.caption}});
        drawPixels(wanted, {c.lamp.Left, c.lamp.Top}, round13, face());
        EXPECT_TRUE(render(led) == wanted) << c.caption.toStdString();
        EXPECT_EQ(led.LED().Bounds(), c.lamp);
    }
}

TEST(LampPainting, CaptionTakesTheSideOppositeTheLamp)
{
    struct Case {
        TLEDPos position;
        fw::TRect lamp;
        // The caption's anchor and which point of the text it names.
        QPoint anchor;
        Qt::Alignment alignment;
    };
    const Case cases[] = {
        {lpLeft, {0, 10, 13, 23}, {18, 16}, Qt::AlignLeft | Qt::AlignVCenter},
        {lpRight, {60, 10, 73, 23}, {55, 16}, Qt::AlignRight | Qt::AlignVCenter},
        {lpTop, {30, 0, 43, 13}, {36, 18}, Qt::AlignHCenter | Qt::AlignTop},
        {lpBottom, {30, 20, 43, 33}, {36, 15}, Qt::AlignHCenter | Qt::AlignBottom},
    };
    for (const Case& c : cases) {
        TAbLED led;
        led.setCaption("Mode C");
        led.setLED_Position(c.position);
        led.setChecked(true);
        const QFontMetrics metrics = metricsOf(led);
        const int w = metrics.horizontalAdvance("Mode C");
        const int h = metrics.height();
        QPoint at = c.anchor;
        if (c.alignment & Qt::AlignRight) at.rx() -= w;
        if (c.alignment & Qt::AlignHCenter) at.rx() -= w / 2;
        if (c.alignment & Qt::AlignVCenter) at.ry() -= h / 2;
        if (c.alignment & Qt::AlignBottom) at.ry() -= h;
        QImage wanted = blank(led);
        drawText(wanted, led, {{at, "Mode C"}});
        drawPixels(wanted, {c.lamp.Left, c.lamp.Top}, round13, rgb(clLime));
        EXPECT_TRUE(render(led) == wanted) << int(c.position);
    }
}

TEST(LampPainting, BarsSplitTheCaptionIntoLinesCentredAsABlock)
{
    TAbLED led;
    const int pitch = metricsOf(led).height();
    const int firstTop = 16 - pitch / 2 - pitch / 2;

    led.setCaption("Mode|C");
    QImage wanted = blank(led);
    drawText(wanted, led, {{{18, firstTop}, "Mode"}, {{18, firstTop + pitch}, "C"}});
    drawPixels(wanted, {0, 10}, round13, face());
    EXPECT_TRUE(render(led) == wanted);

    // A trailing bar draws no line of its own but still lifts the text.
    led.setCaption("Mode|");
    wanted = blank(led);
    drawText(wanted, led, {{{18, firstTop}, "Mode"}});
    drawPixels(wanted, {0, 10}, round13, face());
    EXPECT_TRUE(render(led) == wanted);

    led.setCaption("");
    EXPECT_EQ(drawnExtent(render(led), led.rect()), QRect(0, 10, 13, 13));
}

// One small lamp of each kind of figure, pixel by pixel: the rectangle and the
// arrows end on the box's last column and row, the diamonds' far corners on R
// and B themselves, and a circle narrower than 8 pixels still gets a one-pixel
// highlight.
TEST(LampPainting, SmallLampsOfEachKindCoverExactlyTheirPixels)
{
    struct Case {
        TLEDShape shape;
        int width;
        int height;
        bool on;
        QStringList pixels;
    };
    const Case cases[] = {
        {sRectangle, 7, 5, true, {"ooooooo", "o#####o", "o#####o", "o#####o", "ooooooo"}},
        {sArrowLeft, 7, 5, true, {".....oo", "..ooo#o", "oo####o", "..ooo#o", ".....oo"}},
        {sArrowRight, 7, 5, true, {"oo.....", "o#ooo..", "o####oo", "o#ooo..", "oo....."}},
        {sArrowUp, 7, 5, true, {"...o...", "..o#o..", ".o###o.", ".o###o.", "ooooooo"}},
        {sArrowDown, 7, 5, true, {"ooooooo", ".o###o.", ".o###o.", "..o#o..", "...o..."}},
        {sDiamondLeft, 8, 5, true,
         {"ooooo....", ".o###o...", "..o###o..", "..o###o..", "...o###o.", "....ooooo"}},
        {sDiamondRight, 8, 5, true,
         {"....ooooo", "...o###o.", "..o###o..", "..o###o..", ".o###o...", "ooooo...."}},
        {sRound, 6, 6, false, {"..oo..", ".oh#o.", "oh###o", "o####o", ".o##o.", "..oo.."}},
    };
    for (const Case& c : cases) {
        TAbLED led;
        led.setLED_Shape(c.shape);
        led.setLED_Width(c.width);
        led.setLED_Height(c.height);
        led.setLED_ColorOn(clRed);
        led.setChecked(c.on);
        // The lamp stands at the left, centred on the control's middle row 16.
        QImage wanted = blank(led);
        drawPixels(wanted, {0, 16 - c.height / 2}, c.pixels, c.on ? qRgb(255, 0, 0) : face());
        EXPECT_TRUE(render(led) == wanted) << int(c.shape);
    }
}

// Code = 3 x vertical + horizontal: the block of lines is placed on the anchor by
// its vertical half and every line by both halves.
TEST(CaptionLines, NineAlignmentCodesPlaceTheBlockAndEachLine)
{
    const QFont font;
    const QFontMetrics metrics(font);
    const int pitch = metrics.height() + 2; // two pixels of extra line spacing
    const QStringList lines = {"Mode", "C", ""}; // "Mode|C|": three lines counted, two drawn
    for (int code = 0; code < 9; ++code) {
        auto paint = [&](const std::function<void(fw::TCanvas&)>& draw) {
            QImage image(120, 120, QImage::Format_RGB32);
            image.fill(background);
            QPainter painter(&image);
            fw::TCanvas canvas(painter);
            canvas.setFont(font);
            canvas.setBrushStyle(fw::TBrushStyle::bsClear);
            draw(canvas);
            painter.end();
            return image;
        };
        const QImage drawn = paint([&](fw::TCanvas& c) { AbProc::DrawCaptionLines(c, 60, 60, "Mode|C|", code, 2); });
        const QImage wanted = paint([&](fw::TCanvas& c) {
            const int lift[] = {0, pitch, 2 * pitch}; // (3 - 1) x pitch, halved for the middle codes
            int y = 60 - lift[code / 3];
            for (const QString& line : lines) {
                if (line.isEmpty()) break;
                const int w = metrics.horizontalAdvance(line);
                const int h = metrics.height();
                c.TextOut(60 - QList<int>{0, w / 2, w}[code % 3], y - QList<int>{0, h / 2, h}[code / 3], line);
                y += pitch;
            }
        });
        EXPECT_EQ(drawn, wanted) << "code " << code;
    }
}

// The arrows' corners lie on the box's last pixels (R - 1, B - 1), one short of
// the edges R and B that the ellipse and rectangle reach; the diamonds' far
// corners lie on R and B themselves.
TEST(LampPainting, EachShapeCoversThePixelsItsCornersGive)
{
    // A 20 x 10 lamp on the left of a 73 x 33 control: box (0, 11, 20, 21).
    struct Case {
        TLEDShape shape;
        QRect covered;
        std::vector<QPoint> corners; // pixels the outline must pass through
    };
    const Case cases[] = {
        {sRound, QRect(0, 6, 20, 20), {{0, 15}, {19, 16}, {9, 6}, {10, 25}}},
        {sRectangle, QRect(0, 11, 20, 10), {{0, 11}, {19, 11}, {0, 20}, {19, 20}}},
        {sArrowLeft, QRect(0, 11, 20, 10), {{0, 16}, {19, 11}, {19, 20}}},
        {sArrowRight, QRect(0, 11, 20, 10), {{0, 11}, {19, 16}, {0, 20}}},
        {sArrowUp, QRect(0, 11, 20, 10), {{10, 11}, {19, 20}, {0, 20}}},
        {sArrowDown, QRect(0, 11, 20, 10), {{0, 11}, {19, 11}, {10, 20}}},
        {sDiamondLeft, QRect(0, 11, 21, 11), {{0, 11}, {10, 11}, {20, 21}, {10, 21}}},
        {sDiamondRight, QRect(0, 11, 21, 11), {{10, 11}, {20, 11}, {10, 21}, {0, 21}}},
    };
    for (const Case& c : cases) {
        TAbLED led;
        led.setLED_Width(20);
        led.setLED_Height(10);
        led.setLED_Shape(c.shape);
        led.setLED_ColorOn(clRed);
        led.setChecked(true);
        const QImage image = render(led);
        EXPECT_EQ(drawnExtent(image, image.rect()), c.covered) << int(c.shape);
        for (QPoint corner : c.corners) EXPECT_EQ(image.pixel(corner), shadow()) << int(c.shape) << " at " << corner.x() << "," << corner.y();
        EXPECT_EQ(image.pixel(c.covered.center()), qRgb(255, 0, 0)) << int(c.shape);
    }
}

TEST(LampPainting, LampsNarrowerThanEightPixelsStillGetAOnePixelHighlight)
{
    TAbLED led;
    led.setLED_Width(6);
    led.setLED_Height(6);
    const QImage image = render(led);
    EXPECT_FALSE(extent(image, image.rect(), [](QRgb c) { return c == highlight(); }).isEmpty());
}

// The phase a flash delivers is drawn at once, in the lamp's rectangle only, and
// a repaint of the whole control shows the lamp in its Checked colour again.
TEST(LampPainting, PhaseRepaintsOnlyTheLampRectangleAndAFullRepaintShowsChecked)
{
    QWidget window;
    window.resize(120, 60);
    window.setAutoFillBackground(true);
    TAbLED led(&window);
    led.setCaption("Auto");
    led.setChecked(true);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QCoreApplication::processEvents();

    struct PaintLog : QObject {
        QList<QRect> rects;
        bool eventFilter(QObject*, QEvent* e) override
        {
            if (e->type() == QEvent::Paint) rects << static_cast<QPaintEvent*>(e)->rect();
            return false;
        }
    } log;
    led.installEventFilter(&log);
    auto onScreen = [&](QPoint p) {
        return window.screen()->grabWindow(window.winId()).toImage().pixel(led.mapTo(&window, p));
    };

    led.DrawLEDPhase(false);
    ASSERT_EQ(log.rects.size(), 1);
    EXPECT_EQ(log.rects[0], led.LED().Bounds().toQRect());
    EXPECT_EQ(onScreen({6, 16}), face());

    led.DrawLEDPhase(true);
    EXPECT_EQ(onScreen({6, 16}), rgb(clLime));

    led.DrawLEDPhase(false);
    led.update();
    QCoreApplication::processEvents();
    EXPECT_EQ(log.rects.last(), led.rect());
    EXPECT_EQ(onScreen({6, 16}), rgb(clLime));
}

// Every shape, on and off, with the caption on each of the four sides, laid out
// in one window: each lamp shows its fill at its middle and its caption stands
// clear of it on the side its position gives. The picture is left next to the
// test program (lamp_sheet.png) for a person to look at.
TEST(LampPainting, SheetOfAllShapesShowsEachFillWithItsCaptionClearOfTheLamp)
{
    QWidget sheet;
    sheet.setAutoFillBackground(true);
    auto* grid = new QGridLayout(&sheet);
    const TLEDShape shapes[] = {sRound, sArrowLeft, sArrowRight, sArrowUp, sArrowDown, sRectangle, sDiamondLeft, sDiamondRight};
    const TLEDPos positions[] = {lpLeft, lpRight, lpTop, lpBottom};
    const char* names[] = {"Left", "Right", "Top", "Bottom"};
    int row = 0;
    for (TLEDShape shape : shapes) {
        int column = 0;
        for (int p = 0; p < 4; ++p) {
            for (bool on : {true, false}) {
                auto* led = new TAbLED(&sheet);
                led->setFixedSize(80, 48);
                led->setCaption(QString("%1|%2").arg(names[p], on ? "on" : "off"));
                led->setLED_Shape(shape);
                led->setLED_Width(16);
                led->setLED_Height(12);
                led->setLED_Position(positions[p]);
                led->setLED_ColorOn(row % 2 ? clRed : clLime);
                led->setChecked(on);
                grid->addWidget(led, row, column++);
            }
        }
        ++row;
    }
    sheet.adjustSize();
    const QImage image = sheet.grab().toImage();

    for (TAbLED* led : sheet.findChildren<TAbLED*>()) {
        SCOPED_TRACE(led->Caption().toStdString() + " shape " + std::to_string(int(led->LED().Shape())));
        const QRect lamp = led->LED().Bounds().toQRect().translated(led->pos());
        EXPECT_EQ(image.pixel(lamp.center()), led->Checked() ? rgb(led->LED().ColorOn()) : face());
        // The caption's text is black; no lamp colour is that dark.
        const QRect caption = extent(image, led->geometry(), [](QRgb c) { return qGray(c) < 64; });
        ASSERT_FALSE(caption.isEmpty());
        switch (led->LED_Position()) {
        case lpLeft: EXPECT_GT(caption.left(), lamp.right()); break;
        case lpRight: EXPECT_LT(caption.right(), lamp.left()); break;
        case lpTop: EXPECT_GT(caption.top(), lamp.bottom()); break;
        case lpBottom: EXPECT_LT(caption.bottom(), lamp.top()); break;
        }
    }

    const QString path = QDir(QCoreApplication::applicationDirPath()).filePath("lamp_sheet.png");
    EXPECT_TRUE(image.scaled(image.size() * 2).save(path));
}
