#pragma once

#include "Colors.h"

#include <QPoint>
#include <QString>
#include <vector>

class QPainter;
class QFont;

namespace fw {

enum class TBrushStyle { bsSolid, bsClear };

// A drawing surface with the conventions the lamps were designed for: integer
// coordinates, no antialiasing, a pen (colour, width) that outlines and a brush
// that fills. Rectangles are given as (Left, Top, Right, Bottom); a filled figure
// covers the pixels from Left to Right - 1 and Top to Bottom - 1, the way the
// lamp geometry counts them, and a polygon covers its vertices.
class TCanvas {
public:
    explicit TCanvas(QPainter& painter);

    void setPenColor(TColor color) { penColor_ = color; }
    // Width 0 draws one pixel wide, as width 1 does.
    void setPenWidth(int width) { penWidth_ = width; }
    int penWidth() const { return penWidth_; }
    void setBrushColor(TColor color) { brushColor_ = color; }
    void setBrushStyle(TBrushStyle style) { brushStyle_ = style; }
    void setFont(const QFont& font);
    // Text is drawn in the font's colour, not the pen's.
    void setFontColor(const QColor& color) { fontColor_ = color; }

    void Ellipse(int left, int top, int right, int bottom);
    // The arc of the ellipse in (left, top, right, bottom), counter-clockwise from
    // the direction of (x3, y3) to the direction of (x4, y4), seen from its centre.
    void Arc(int left, int top, int right, int bottom, int x3, int y3, int x4, int y4);
    void RoundRect(int left, int top, int right, int bottom, int cornerWidth, int cornerHeight);
    void Polygon(const std::vector<QPoint>& points);

    int TextWidth(const QString& text) const;
    int TextHeight(const QString& text) const;
    // Draws text with its top-left corner at (x, y); the background shows through
    // with a clear brush and is filled with the brush colour otherwise.
    void TextOut(int x, int y, const QString& text);

    QPainter& painter() { return painter_; }

private:
    void applyPen();
    void applyBrush();

    QPainter& painter_;
    TColor penColor_ = clBlack;
    int penWidth_ = 1;
    TColor brushColor_ = clWhite;
    TBrushStyle brushStyle_ = TBrushStyle::bsSolid;
    QColor fontColor_ = Qt::black;
};

} // namespace fw
