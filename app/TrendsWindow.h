#pragma once

#include <QWidget>
#include <array>

class QComboBox;
class QTimer;
class TrendPlot;

namespace session {
class TrendData;
}

// View → "Trends": the altitude, the supply voltage, the voltage offset, the
// answered queries of each sequence and the ping's round trip, each against the
// wall time, over the last 5 or 30 minutes or the whole session.
//
// The plots follow the session's TrendData, only while the window is shown.
// During Auto the values of a sequence are drawn together when the sequence
// ends, in the pause before the next one, so that drawing never holds up a
// query; values that come otherwise (a ping, a query typed by hand) are drawn
// at most RedrawDelayMs after they came. Nothing runs while no value comes.
//
// "Export CSV…" writes every sequence of the session, not only what the plots
// show (session::SequenceTable).
class TrendsWindow : public QWidget {
    Q_OBJECT
public:
    enum Span { Last5Minutes, Last30Minutes, Everything };
    static constexpr int RedrawDelayMs = 2000;

    explicit TrendsWindow(session::TrendData& data, QWidget* parent = nullptr);

    void setSpan(Span span);
    // The plot of one of TrendData's series.
    TrendPlot* plot(int series) const { return plots_[static_cast<std::size_t>(series)]; }
    // Draws every plot now.
    void redraw();
    // Writes the table of sequences to `path`; false, after a box, when it cannot.
    bool exportCsv(const QString& path);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void changed(int series);
    void redrawChanged();
    void chooseCsvFile();
    qint64 spanMs() const;

    session::TrendData& data_;
    QComboBox* span_;
    QTimer* redrawTimer_;
    std::array<TrendPlot*, 5> plots_{};
    std::array<bool, 5> stale_{};
};
