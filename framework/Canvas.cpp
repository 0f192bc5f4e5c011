#include "Canvas.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPolygon>
#include <QtMath>
#include <cmath>

namespace fw {

TCanvas::TCanvas(QPainter& painter)
    : painter_(painter)
{
    painter_.setRenderHint(QPainter::Antialiasing, false);
    painter_.setRenderHint(QPainter::TextAntialiasing, true);
}

void TCanvas::setFont(const QFont& font)
{
    painter_.setFont(font);
}

void TCanvas::applyPen()
{
    QPen pen(ColorToQColor(penColor_));
    pen.setWidth(penWidth_ < 1 ? 1 : penWidth_);
    pen.setJoinStyle(Qt::MiterJoin);
    painter_.setPen(pen);
}

void TCanvas::applyBrush()
{
    if (brushStyle_ == TBrushStyle::bsClear)
        painter_.setBrush(Qt::NoBrush);
    else
        painter_.setBrush(ColorToQColor(brushColor_));
}

// QPainter's aliased outline of a w x h rectangle covers w + 1 by h + 1 pixels,
// so figures given by their excluded right and bottom edges shrink by one.
void TCanvas::Ellipse(int left, int top, int right, int bottom)
{
    applyPen();
    applyBrush();
    painter_.drawEllipse(QRect(left, top, right - left - 1, bottom - top - 1).normalized());
}

void TCanvas::Arc(int left, int top, int right, int bottom, int x3, int y3, int x4, int y4)
{
    applyPen();
    const QRect box(left, top, right - left - 1, bottom - top - 1);
    const QPointF centre((left + right) / 2.0, (top + bottom) / 2.0);
    // Qt measures angles counter-clockwise with y pointing up; screen y points down.
    auto angleOf = [&](int x, int y) { return qRadiansToDegrees(std::atan2(centre.y() - y, x - centre.x())); };
    const double start = angleOf(x3, y3);
    double span = angleOf(x4, y4) - start;
    if (span <= 0) span += 360;
    painter_.drawArc(box, qRound(start * 16), qRound(span * 16));
}

void TCanvas::RoundRect(int left, int top, int right, int bottom, int cornerWidth, int cornerHeight)
{
    applyPen();
    applyBrush();
    const QRect box(left, top, right - left - 1, bottom - top - 1);
    if (cornerWidth <= 1 && cornerHeight <= 1)
        painter_.drawRect(box);
    else
        painter_.drawRoundedRect(box, cornerWidth / 2.0, cornerHeight / 2.0);
}

void TCanvas::Polygon(const std::vector<QPoint>& points)
{
    applyPen();
    applyBrush();
    painter_.drawPolygon(QPolygon(QList<QPoint>(points.begin(), points.end())));
}

int TCanvas::TextWidth(const QString& text) const
{
    return QFontMetrics(painter_.font()).horizontalAdvance(text);
}

int TCanvas::TextHeight(const QString& text) const
{
    Q_UNUSED(text);
    return QFontMetrics(painter_.font()).height();
}

void TCanvas::TextOut(int x, int y, const QString& text)
{
    const QFontMetrics metrics(painter_.font());
    if (brushStyle_ == TBrushStyle::bsSolid)
        painter_.fillRect(QRect(x, y, metrics.horizontalAdvance(text), metrics.height()), ColorToQColor(brushColor_));
    painter_.setPen(fontColor_);
    painter_.drawText(x, y + metrics.ascent(), text);
}

} // namespace fw
