#include "app/TrendPlot.h"

#include "app/SaveDialog.h"
#include "framework/Application.h"
#include "framework/MessageBoxes.h"
#include "session/SaveTarget.h"
#include "session/TrendSeries.h"

#include <QChart>
#include <QChartView>
#include <QDateTimeAxis>
#include <QLineSeries>
#include <QPushButton>
#include <QValueAxis>
#include <QVBoxLayout>

#include <algorithm>

TrendPlot::TrendPlot(const QString& title, const QString& unit, const session::TrendSeries& series,
                     QWidget* parent)
    : QWidget(parent)
    , title_(title)
    , series_(series)
    , chart_(new QChart)
    , view_(new QChartView(chart_, this))
    , line_(new QLineSeries)
    , time_(new QDateTimeAxis)
    , values_(new QValueAxis)
{
    chart_->legend()->hide();
    chart_->setTitle(title_);
    chart_->addSeries(line_);
    // Not animated: a plot that moves each time a point comes would spend the
    // window thread's time on frames nobody asked for.
    chart_->setAnimationOptions(QChart::NoAnimation);
    chart_->setMargins(QMargins(4, 4, 4, 4));
    time_->setFormat(QStringLiteral("HH:mm:ss"));
    time_->setTickCount(5);
    values_->setTitleText(unit);
    values_->setLabelFormat(QStringLiteral("%.4g"));
    chart_->addAxis(time_, Qt::AlignBottom);
    chart_->addAxis(values_, Qt::AlignLeft);
    line_->attachAxis(time_);
    line_->attachAxis(values_);
    line_->setMarkerSize(4);
    pieces_.push_back(line_);
    view_->setRenderHint(QPainter::Antialiasing);
    view_->setMinimumSize(320, 200);

    auto* save = new QPushButton(QStringLiteral("Save PNG..."), this);
    save->setObjectName(QStringLiteral("savePng"));
    connect(save, &QPushButton::clicked, this, &TrendPlot::saveAs);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);
    layout->addWidget(save, 0, Qt::AlignRight);
}

void TrendPlot::setValueRange(double low, double high, int ticks)
{
    fixedValues_ = true;
    values_->setRange(low, high);
    values_->setTickCount(ticks);
}

void TrendPlot::refresh(qint64 spanMs, qint64 nowMs)
{
    const std::vector<QPointF>& points = series_.points();
    auto from = points.begin();
    qint64 start = 0;
    qint64 end = nowMs;
    if (spanMs > 0) {
        const qint64 step = spanMs <= 5 * 60'000 ? 60'000 : 5 * 60'000;
        start = (nowMs - spanMs) / step * step;
        end = (nowMs + step - 1) / step * step;
        time_->setTickCount(static_cast<int>((end - start) / step) + 1);
        time_->setFormat(QStringLiteral("HH:mm"));
        from = std::lower_bound(points.begin(), points.end(), static_cast<double>(start),
                                [](const QPointF& p, double x) { return p.x() < x; });
    } else {
        start = points.empty() ? nowMs - 60'000 : static_cast<qint64>(points.front().x());
        end = std::max(nowMs, start + 1000);
        time_->setTickCount(5);
        time_->setFormat(end - start > 12 * 3600'000 ? QStringLiteral("dd HH:mm") : QStringLiteral("HH:mm:ss"));
    }
    // Nothing after now: a recording under review is shown as it stood at the
    // moment it was moved to.
    const auto to = std::upper_bound(from, points.end(), static_cast<double>(nowMs),
                                     [](double x, const QPointF& p) { return x < p.x(); });
    // A plot shows no more points than it has pixels across; fifty thousand
    // would cost the chart its time and its memory for nothing to see.
    const std::vector<QPointF> shown = session::envelope(points.data() + (from - points.begin()),
                                                         points.data() + (to - points.begin()), view_->width());
    // An outage breaks the line: nothing is joined across it.
    const std::vector<double>& breaks = series_.breaks();
    std::size_t pieces = 0;
    for (auto at = shown.begin(); at != shown.end() || pieces == 0;) {
        auto end = at;
        if (at != shown.end()) {
            const auto next = std::upper_bound(breaks.begin(), breaks.end(), at->x());
            end = next == breaks.end() ? shown.end()
                                       : std::lower_bound(at, shown.end(), *next,
                                                          [](const QPointF& p, double x) { return p.x() < x; });
        }
        QLineSeries* line = piece(pieces++);
        line->replace(QList<QPointF>(at, end));
        line->setPointsVisible(shown.size() <= MarkedPoints);
        at = end;
    }
    for (std::size_t i = pieces; i < pieces_.size(); ++i) pieces_[i]->clear();
    time_->setRange(QDateTime::fromMSecsSinceEpoch(start), QDateTime::fromMSecsSinceEpoch(end));

    if (!fixedValues_) {
        if (from == to) {
            values_->setRange(0, 1);
        } else {
            const auto [low, high] = std::minmax_element(
                from, to, [](const QPointF& a, const QPointF& b) { return a.y() < b.y(); });
            const double margin = std::max((high->y() - low->y()) * 0.1, std::max(std::abs(high->y()) * 0.02, 0.5));
            // A quantity that is never below zero gets no axis below zero.
            const double bottom = low->y() >= 0 ? std::max(0.0, low->y() - margin) : low->y() - margin;
            values_->setRange(bottom, high->y() + margin);
            values_->applyNiceNumbers();
        }
    }

    QString title = title_;
    if (const std::size_t n = series_.notNumbers())
        title += n == 1 ? QStringLiteral(" (1 value that was not a number left out)")
                        : QStringLiteral(" (%1 values that were not numbers left out)").arg(n);
    chart_->setTitle(title);
    // The chart repaints only what it thinks changed: after a jump of its axes
    // (a recording moved to another moment) parts of the old line stayed on
    // the plot, faint, until the next refresh.
    view_->scene()->update();
}

QString TrendPlot::title() const
{
    return chart_->title();
}

int TrendPlot::shownPoints() const
{
    int points = 0;
    for (const QLineSeries* line : pieces_) points += static_cast<int>(line->count());
    return points;
}

int TrendPlot::shownLines() const
{
    return static_cast<int>(std::count_if(pieces_.begin(), pieces_.end(),
                                          [](const QLineSeries* line) { return line->count() > 0; }));
}

QLineSeries* TrendPlot::piece(std::size_t index)
{
    while (pieces_.size() <= index) {
        auto* line = new QLineSeries;
        chart_->addSeries(line);
        line->attachAxis(time_);
        line->attachAxis(values_);
        line->setMarkerSize(line_->markerSize());
        line->setPen(line_->pen());
        pieces_.push_back(line);
    }
    return pieces_[index];
}

bool TrendPlot::savePng(const QString& path)
{
    const QPixmap picture = view_->grab();
    const QString failure =
        session::SaveTarget::save(path, [&picture](QIODevice& file) { return picture.save(&file, "PNG"); });
    if (failure.isEmpty()) return true;
    fw::MessageBox(QStringLiteral("Cannot save the plot to \"%1\": %2.").arg(path, failure),
                   fw::Application::instance().title(), fw::MsgButtons::Ok, fw::MsgIcon::Error);
    return false;
}

void TrendPlot::saveAs()
{
    SaveDialog dialog(this, QStringLiteral("plot"), QStringLiteral("Save Plot"),
                      title_.toLower().replace(QLatin1Char(' '), QLatin1Char('-')) + QStringLiteral(".png"),
                      QStringLiteral("PNG pictures (*.png)"), QStringLiteral("png"));
    if (const QString path = dialog.choose(); !path.isEmpty()) savePng(path);
}
