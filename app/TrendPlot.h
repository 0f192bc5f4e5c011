#pragma once

#include <QWidget>
#include <vector>

class QChart;
class QChartView;
class QDateTimeAxis;
class QLineSeries;
class QValueAxis;

namespace session {
class TrendSeries;
}

// One plot of the trends window: a series against the wall time, the values
// that were not numbers counted in its title, and a button that saves the plot
// as a PNG picture.
class TrendPlot : public QWidget {
    Q_OBJECT
public:
    // Points are marked while a plot shows no more than this many.
    static constexpr std::size_t MarkedPoints = 200;

    TrendPlot(const QString& title, const QString& unit, const session::TrendSeries& series,
              QWidget* parent = nullptr);

    // Shows the points of the last `spanMs` before `nowMs` (all of them for a
    // span of 0), both in ms since the epoch. The time axis of a span runs from
    // and to whole minutes (whole five minutes beyond five minutes), so that its
    // labels are round times.
    void refresh(qint64 spanMs, qint64 nowMs);
    // A value axis that stays put, for a quantity with known bounds.
    void setValueRange(double low, double high, int ticks);
    // Saves the plot as it is drawn; false after a box saying why.
    bool savePng(const QString& path);

    QString title() const;
    int shownPoints() const;
    // The pieces the line is drawn in: one more for each break it crosses.
    int shownLines() const;

private:
    void saveAs();
    // The line of piece `index`, made when first wanted.
    QLineSeries* piece(std::size_t index);

    QString title_;
    const session::TrendSeries& series_;
    QChart* chart_;
    QChartView* view_;
    QLineSeries* line_;
    std::vector<QLineSeries*> pieces_; // line_ first; one more after each break shown
    QDateTimeAxis* time_;
    QValueAxis* values_;
    bool fixedValues_ = false;
};
