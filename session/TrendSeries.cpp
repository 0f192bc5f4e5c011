#include "session/TrendSeries.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace session {

void TrendSeries::add(double x, double y)
{
    if (points_.size() == MaxPoints) thin();
    points_.emplace_back(x, y);
}

void TrendSeries::addText(double x, std::string_view text)
{
    addValue(x, trendNumber(text));
}

void TrendSeries::addValue(double x, std::optional<double> y)
{
    if (y)
        add(x, *y);
    else
        ++notNumbers_;
}

void TrendSeries::addBreak(double x)
{
    if (points_.empty() || (!breaks_.empty() && breaks_.back() >= points_.back().x())) return;
    breaks_.push_back(x);
}

void TrendSeries::clear()
{
    points_.clear();
    breaks_.clear();
    notNumbers_ = 0;
    ++thinnings_;
}

void TrendSeries::thin()
{
    const std::size_t half = points_.size() / 2;
    std::size_t kept = 0;
    for (std::size_t i = 0; i < half; i += 2) points_[kept++] = points_[i];
    points_.erase(points_.begin() + static_cast<std::ptrdiff_t>(kept),
                  points_.begin() + static_cast<std::ptrdiff_t>(half));
    ++thinnings_;
}

std::vector<QPointF> envelope(const QPointF* first, const QPointF* last, int columns)
{
    const std::size_t count = static_cast<std::size_t>(last - first);
    const std::size_t width = static_cast<std::size_t>(std::max(columns, 1));
    if (count <= 2 * width) return {first, last};
    const double start = first->x();
    const double span = std::max((last - 1)->x() - start, 1.0);
    // Clamped before it becomes an index: a point out of order (before the
    // first) would make a negative, and a negative double is no size_t.
    const auto columnOf = [&](const QPointF* p) {
        return static_cast<std::size_t>(std::clamp((p->x() - start) / span * static_cast<double>(width), 0.0,
                                                   static_cast<double>(width - 1)));
    };
    std::vector<QPointF> kept;
    kept.reserve(2 * width);
    const QPointF* p = first;
    while (p != last) {
        const std::size_t column = columnOf(p);
        const QPointF* low = p;
        const QPointF* high = p;
        for (; p != last && columnOf(p) == column; ++p) {
            if (p->y() < low->y()) low = p;
            if (p->y() > high->y()) high = p;
        }
        kept.push_back(low->x() <= high->x() ? *low : *high);
        if (low != high) kept.push_back(low->x() <= high->x() ? *high : *low);
    }
    return kept;
}

std::optional<double> trendNumber(std::string_view text)
{
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ') text.remove_prefix(1);
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.remove_suffix(1);
    if (text.empty()) return std::nullopt;
    // from_chars takes no leading "+", and would read "inf" and "nan".
    const char first = text.front() == '-' && text.size() > 1 ? text[1] : text.front();
    if (!(first >= '0' && first <= '9') && first != '.') return std::nullopt;
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

} // namespace session
