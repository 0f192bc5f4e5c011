#pragma once

#include "Colors.h"

#include <QPoint>
#include <QRect>
#include <QColor>
#include <QString>
#include <optional>
#include <vector>

class QPainter;
class QFont;

namespace fw {

enum class TBrushStyle { bsSolid, bsClear };

// A rectangle given by its edges: it covers the pixels Left..Right-1 and
// Top..Bottom-1, so Right - Left is its width.
struct TRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;

    int width() const { return Right - Left; }
    int height() const { return Bottom - Top; }
    QRect toQRect() const { return QRect(Left, Top, Right - Left, Bottom - Top); }
    friend bool operator==(const TRect&, const TRect&) = default;
};

// A drawing surface with the conventions the lamps were designed for: integer
// coordinates, no antialiasing, a pen that outlines and a brush that fills.
//
// Figures land on exact pixels, independent of how QPainter would rasterise
// them: Ellipse and RoundRect given (Left, Top, Right, Bottom) cover the pixels
// Left..Right-1 and Top..Bottom-1; a Polygon covers its vertices and the straight
// lines between them. A figure is outlined one pixel wide with the pen colour (its
// border pixels) and filled inside with the brush; with a clear brush only the
// outline is drawn. The pen width applies to arcs.
class TCanvas {
public:
    explicit TCanvas(QPainter& painter);

    void setPenColor(TColor color) { penColor_ = color; }
    // Width 0 draws one pixel wide, as width 1 does.
    void setPenWidth(int width) { penWidth_ = width; }
    int penWidth() const { return penWidth_; }
    void setBrushColor(TColor color) { brushColor_ = color; }
    void setBrushStyle(TBrushStyle style) { brushStyle_ = style; }
    TBrushStyle brushStyle() const { return brushStyle_; }
    void setFont(const QFont& font);
    // Text is drawn in the font's colour, not the pen's.
    void setFontColor(const QColor& color) { fontColor_ = color; }

    void Ellipse(int left, int top, int right, int bottom);
    // The arc of the ellipse in (left, top, right, bottom), counter-clockwise from
    // the direction of (x3, y3) to the direction of (x4, y4), seen from its centre.
    // A pen wider than one pixel is centred on the ellipse's outline.
    void Arc(int left, int top, int right, int bottom, int x3, int y3, int x4, int y4);
    // A rectangle whose corners are quarters of a cornerWidth x cornerHeight
    // ellipse; corners of 1 x 1 or less are square.
    void RoundRect(int left, int top, int right, int bottom, int cornerWidth, int cornerHeight);
    // A convex polygon (a concave one is drawn as if each of its rows were
    // filled from its leftmost to its rightmost pixel).
    void Polygon(const std::vector<QPoint>& points);

    int TextWidth(const QString& text) const;
    int TextHeight(const QString& text) const;
    // Draws text with its top-left corner at (x, y); the background shows through
    // with a clear brush and is filled with the brush colour otherwise.
    void TextOut(int x, int y, const QString& text);

    QPainter& painter() { return painter_; }

private:
    std::optional<QColor> brushQColor() const;

    QPainter& painter_;
    TColor penColor_ = clBlack;
    int penWidth_ = 1;
    TColor brushColor_ = clWhite;
    TBrushStyle brushStyle_ = TBrushStyle::bsSolid;
    QColor fontColor_ = Qt::black;
};

} // namespace fw
