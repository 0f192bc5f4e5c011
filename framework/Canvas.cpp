#include "Canvas.h"

#include <QFontMetrics>
#include <QPainter>
#include <QtMath>
#include <algorithm>
#include <climits>
#include <cmath>
#include <optional>

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

namespace {

// A figure as the pixels it covers: for each row from `top` down, the first and
// last pixel. Every figure the canvas draws is convex, so each row is one run.
struct Spans {
    int top = 0;
    std::vector<std::pair<int, int>> rows;

    int bottom() const { return top + static_cast<int>(rows.size()); }
    bool covers(int x, int y) const
    {
        if (y < top || y >= bottom()) return false;
        const auto [first, last] = rows[static_cast<std::size_t>(y - top)];
        return x >= first && x <= last;
    }
};

// Collects points row by row and keeps each row's extremes.
class SpanBuilder {
public:
    SpanBuilder(int top, int bottom)
        : top_(top)
        , rows_(static_cast<std::size_t>(std::max(0, bottom - top)), {INT_MAX, INT_MIN})
    {
    }
    void add(int x, int y)
    {
        auto& [first, last] = rows_[static_cast<std::size_t>(y - top_)];
        first = std::min(first, x);
        last = std::max(last, x);
    }
    Spans build() const { return Spans{top_, rows_}; }

private:
    int top_;
    std::vector<std::pair<int, int>> rows_;
};

// The pixels of the ellipse inscribed in (left, top, right, bottom). Sampling it
// once per column and once per row and taking the nearest pixel each time gives a
// thin, gap-free outline that reaches all four sides; mirroring the samples keeps
// it symmetric.
Spans ellipseSpans(int left, int top, int right, int bottom)
{
    const int w = right - left;
    const int h = bottom - top;
    if (w <= 0 || h <= 0) return {};
    const double a = (w - 1) / 2.0;
    const double b = (h - 1) / 2.0;
    // How far in from the edge of the box the outline lies at offset d from the
    // centre, for the half-axis r along the sampled direction and s across it.
    auto inset = [](double d, double r, double s) {
        const double t = r == 0 ? 0.0 : 1.0 - (d / r) * (d / r);
        return static_cast<int>(std::lround(s - s * std::sqrt(std::max(0.0, t))));
    };
    SpanBuilder builder(top, bottom);
    for (int x = left; x < right; ++x) {
        const int k = inset(x - left - a, a, b);
        builder.add(x, top + k);
        builder.add(x, bottom - 1 - k);
    }
    for (int y = top; y < bottom; ++y) {
        const int k = inset(y - top - b, b, a);
        builder.add(left + k, y);
        builder.add(right - 1 - k, y);
    }
    return builder.build();
}

Spans roundRectSpans(int left, int top, int right, int bottom, int cornerWidth, int cornerHeight)
{
    if (right <= left || bottom <= top) return {};
    SpanBuilder builder(top, bottom);
    for (int y = top; y < bottom; ++y) {
        builder.add(left, y);
        builder.add(right - 1, y);
    }
    Spans spans = builder.build();
    if (cornerWidth <= 1 && cornerHeight <= 1) return spans;
    // The corners are the quarters of a corner-sized ellipse: its top rows give
    // the rectangle's top rows their inset, its bottom rows the bottom rows'.
    const Spans corner = ellipseSpans(0, 0, std::min(cornerWidth, right - left), std::min(cornerHeight, bottom - top));
    const int half = static_cast<int>(corner.rows.size()) / 2;
    for (int j = 0; j < half; ++j) {
        const int in = corner.rows[static_cast<std::size_t>(j)].first;
        for (auto* row : {&spans.rows[static_cast<std::size_t>(j)], &spans.rows[spans.rows.size() - 1 - static_cast<std::size_t>(j)]}) {
            row->first = left + in;
            row->second = right - 1 - in;
        }
    }
    return spans;
}

// The pixels of a straight line, both ends included: one per step along the
// longer axis, the other coordinate rounded to the nearest pixel. A coordinate
// exactly halfway between two pixels goes to the one farther from `centreTwice`
// (twice the figure's centre on that axis), so that a figure symmetric about its
// centre is drawn symmetric, whichever way round its edges are given.
template <class Plot>
void line(QPoint from, QPoint to, QPoint centreTwice, Plot plot)
{
    const bool alongX = std::abs(to.x() - from.x()) >= std::abs(to.y() - from.y());
    auto major = [&](QPoint p) { return alongX ? p.x() : p.y(); };
    auto minor = [&](QPoint p) { return alongX ? p.y() : p.x(); };
    const int steps = std::abs(major(to) - major(from));
    const int direction = major(to) >= major(from) ? 1 : -1;
    const int rise = minor(to) - minor(from);
    const int centre = alongX ? centreTwice.y() : centreTwice.x();
    for (int i = 0; i <= steps; ++i) {
        int m = minor(from);
        if (steps > 0) {
            const int q = i * rise;
            const int whole = q >= 0 ? q / steps : -((-q + steps - 1) / steps);
            const int rest = q - whole * steps; // 0 <= rest < steps
            m += whole;
            if (2 * rest > steps || (2 * rest == steps && std::abs(2 * (m + 1) - centre) > std::abs(2 * m - centre)))
                ++m;
        }
        const int n = major(from) + direction * i;
        if (alongX)
            plot(n, m);
        else
            plot(m, n);
    }
}

Spans polygonSpans(const std::vector<QPoint>& points)
{
    if (points.empty()) return {};
    int top = INT_MAX;
    int bottom = INT_MIN;
    int left = INT_MAX;
    int right = INT_MIN;
    for (const QPoint& p : points) {
        top = std::min(top, p.y());
        bottom = std::max(bottom, p.y() + 1);
        left = std::min(left, p.x());
        right = std::max(right, p.x());
    }
    const QPoint centreTwice(left + right, top + bottom - 1);
    SpanBuilder builder(top, bottom);
    for (std::size_t i = 0; i < points.size(); ++i)
        line(points[i], points[(i + 1) % points.size()], centreTwice, [&](int x, int y) { builder.add(x, y); });
    return builder.build();
}

// Calls `outline(x, y, n)` for each run of border pixels (those with a side
// neighbour outside the figure) and `inside(x, y, n)` for each run of the rest.
template <class Outline, class Inside>
void walk(const Spans& spans, Outline outline, Inside inside)
{
    const int n = static_cast<int>(spans.rows.size());
    for (int i = 0; i < n; ++i) {
        const auto [first, last] = spans.rows[static_cast<std::size_t>(i)];
        int from = first + 1;
        int to = last - 1;
        if (i == 0 || i == n - 1) {
            to = from - 1;
        } else {
            for (int j : {i - 1, i + 1}) {
                from = std::max(from, spans.rows[static_cast<std::size_t>(j)].first);
                to = std::min(to, spans.rows[static_cast<std::size_t>(j)].second);
            }
        }
        const int y = spans.top + i;
        if (from > to) {
            outline(first, y, last - first + 1);
            continue;
        }
        outline(first, y, from - first);
        inside(from, y, to - from + 1);
        outline(to + 1, y, last - to);
    }
}

void drawFigure(QPainter& painter, const Spans& spans, const QColor& pen, const std::optional<QColor>& brush)
{
    walk(
        spans, [&](int x, int y, int n) { if (n > 0) painter.fillRect(QRect(x, y, n, 1), pen); },
        [&](int x, int y, int n) { if (brush) painter.fillRect(QRect(x, y, n, 1), *brush); });
}

} // namespace

// The brush colour, or none when the brush is clear.
std::optional<QColor> TCanvas::brushQColor() const
{
    if (brushStyle_ == TBrushStyle::bsClear) return std::nullopt;
    return ColorToQColor(brushColor_);
}

void TCanvas::Ellipse(int left, int top, int right, int bottom)
{
    drawFigure(painter_, ellipseSpans(left, top, right, bottom), ColorToQColor(penColor_), brushQColor());
}

void TCanvas::Arc(int left, int top, int right, int bottom, int x3, int y3, int x4, int y4)
{
    const Spans ellipse = ellipseSpans(left, top, right, bottom);
    if (ellipse.rows.empty()) return;
    // Centre and half-axes in pixel positions, y pointing up for the angles.
    const double cx = (left + right - 1) / 2.0;
    const double cy = (top + bottom - 1) / 2.0;
    const double a = (right - left - 1) / 2.0;
    const double b = (bottom - top - 1) / 2.0;
    auto angleOf = [&](double x, double y) {
        const double degrees = qRadiansToDegrees(std::atan2(cy - y, x - cx));
        return degrees < 0 ? degrees + 360 : degrees;
    };
    const double start = angleOf(x3, y3);
    double span = angleOf(x4, y4) - start;
    if (span <= 0) span += 360;
    auto onArc = [&](int x, int y) {
        if (x == cx && y == cy) return false;
        double from = angleOf(x, y) - start;
        if (from < 0) from += 360;
        return from <= span + 1e-9;
    };

    const QColor pen = ColorToQColor(penColor_);
    auto plot = [&](int x, int y) {
        if (onArc(x, y)) painter_.fillRect(QRect(x, y, 1, 1), pen);
    };
    if (penWidth_ <= 1) {
        walk(
            ellipse, [&](int x, int y, int n) { for (int i = 0; i < n; ++i) plot(x + i, y); },
            [](int, int, int) {});
        return;
    }
    // A wide pen covers a band of penWidth pixels across the outline, measured
    // along the ellipse's radius.
    const double half = penWidth_ / 2.0;
    const double mean = (a + b) / 2.0;
    for (int y = static_cast<int>(std::floor(cy - b - half)); y <= static_cast<int>(std::ceil(cy + b + half)); ++y) {
        for (int x = static_cast<int>(std::floor(cx - a - half)); x <= static_cast<int>(std::ceil(cx + a + half)); ++x) {
            const double nx = a == 0 ? 0.0 : (x - cx) / a;
            const double ny = b == 0 ? 0.0 : (y - cy) / b;
            const double off = (std::sqrt(nx * nx + ny * ny) - 1.0) * mean;
            if (off >= -half && off < half) plot(x, y);
        }
    }
}

void TCanvas::RoundRect(int left, int top, int right, int bottom, int cornerWidth, int cornerHeight)
{
    drawFigure(painter_, roundRectSpans(left, top, right, bottom, cornerWidth, cornerHeight), ColorToQColor(penColor_), brushQColor());
}

void TCanvas::Polygon(const std::vector<QPoint>& points)
{
    drawFigure(painter_, polygonSpans(points), ColorToQColor(penColor_), brushQColor());
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
