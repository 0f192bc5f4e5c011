#pragma once

#include <QPointF>
#include <optional>
#include <string_view>
#include <vector>

namespace session {

// One quantity over time for the trend plots: x is the time in ms since the
// epoch (TrendData keeps it in order), y the value. It holds at most MaxPoints; when full, the oldest half
// keeps every second point, so that the recent past stays sharp and the whole
// session stays in view. Values that were not numbers are not points; they are
// counted, so that a plot can say how many it left out.
class TrendSeries {
public:
    static constexpr std::size_t MaxPoints = 50'000;

    void add(double x, double y);
    // Adds the value that `text` reads as (trendNumber), or counts it.
    void addText(double x, std::string_view text);
    // Adds a point, or counts a value that was not a number (nothing).
    void addValue(double x, std::optional<double> y);
    // An outage at `x`: the line is not drawn across it. Breaks in a row with
    // no point between them are one.
    void addBreak(double x);
    void clear();

    const std::vector<QPointF>& points() const { return points_; }
    // The times of the breaks, in order.
    const std::vector<double>& breaks() const { return breaks_; }
    std::size_t notNumbers() const { return notNumbers_; }
    // How often the series has been thinned, so that a view knows to take the
    // points afresh rather than only the new ones.
    unsigned thinnings() const { return thinnings_; }

private:
    void thin();

    std::vector<QPointF> points_;
    std::vector<double> breaks_;
    std::size_t notNumbers_ = 0;
    unsigned thinnings_ = 0;
};

// What a plot `columns` pixels wide needs in order to draw the points from
// `first` to `last` (in time order): all of them when they are few; otherwise,
// for each column's share of the time, its lowest and its highest point in
// their order, so that the line still reaches every peak and every dip.
std::vector<QPointF> envelope(const QPointF* first, const QPointF* last, int columns);

// The number a value from the line reads as: decimal, a point as the decimal
// sign, blanks around it allowed; nothing for anything else ("", "--", "12V",
// "nan").
std::optional<double> trendNumber(std::string_view text);

} // namespace session
