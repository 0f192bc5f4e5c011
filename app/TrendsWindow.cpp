#include "app/TrendsWindow.h"

#include "app/SaveDialog.h"
#include "app/TrendPlot.h"
#include "framework/Application.h"
#include "framework/MessageBoxes.h"
#include "session/SaveTarget.h"
#include "session/TrendData.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

using session::TrendData;

TrendsWindow::TrendsWindow(TrendData& data, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , data_(data)
    , span_(new QComboBox(this))
    , redrawTimer_(new QTimer(this))
{
    setObjectName(QStringLiteral("TrendsWindow"));
    setWindowTitle(QStringLiteral("Trends"));
    resize(900, 760);

    span_->setObjectName(QStringLiteral("trendSpan"));
    span_->addItems({QStringLiteral("Last 5 minutes"), QStringLiteral("Last 30 minutes"), QStringLiteral("All")});
    redrawTimer_->setSingleShot(true);
    redrawTimer_->setInterval(RedrawDelayMs);
    connect(redrawTimer_, &QTimer::timeout, this, &TrendsWindow::redrawChanged);

    struct Plot {
        TrendData::Series series;
        const char* title;
        const char* unit;
    };
    static constexpr Plot Plots[] = {
        {TrendData::Altitude, "Altitude", "ft"},
        {TrendData::Volts, "Supply voltage", "V"},
        {TrendData::Offset, "Voltage offset", "V"},
        {TrendData::Answered, "Answered queries per sequence", "of 14"},
        {TrendData::PingMs, "Ping round trip", "ms"},
    };
    auto* grid = new QGridLayout;
    for (std::size_t i = 0; i < std::size(Plots); ++i) {
        const Plot& p = Plots[i];
        auto* plot = new TrendPlot(QString::fromLatin1(p.title), QString::fromLatin1(p.unit), data_.series(p.series),
                                   this);
        plot->setObjectName(QStringLiteral("trend%1").arg(i));
        plots_[p.series] = plot;
        if (p.series == TrendData::Answered) plot->setValueRange(0, 15, 6);
        grid->addWidget(plot, static_cast<int>(i / 2), static_cast<int>(i % 2));
    }

    auto* bar = new QHBoxLayout;
    bar->addWidget(new QLabel(QStringLiteral("Show:"), this));
    bar->addWidget(span_);
    bar->addStretch();
    auto* exportCsv = new QPushButton(QStringLiteral("Export CSV…"), this);
    exportCsv->setObjectName(QStringLiteral("trendExportCsv"));
    bar->addWidget(exportCsv);
    connect(exportCsv, &QPushButton::clicked, this, &TrendsWindow::chooseCsvFile);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addLayout(grid);

    connect(span_, &QComboBox::currentIndexChanged, this, &TrendsWindow::redraw);
    connect(&data_, &TrendData::changed, this, &TrendsWindow::changed);
}

void TrendsWindow::setSpan(Span span)
{
    span_->setCurrentIndex(span);
}

qint64 TrendsWindow::spanMs() const
{
    switch (span_->currentIndex()) {
    case Last5Minutes: return 5 * 60'000;
    case Last30Minutes: return 30 * 60'000;
    default: return 0;
    }
}

void TrendsWindow::changed(int series)
{
    stale_[static_cast<std::size_t>(series)] = true;
    if (!isVisible()) return;
    // A sequence has ended: its values go in now, before the next one begins.
    if (series == TrendData::Answered)
        redrawChanged();
    else if (!redrawTimer_->isActive())
        redrawTimer_->start();
}

void TrendsWindow::redrawChanged()
{
    redrawTimer_->stop();
    const qint64 now = data_.nowMs();
    for (std::size_t i = 0; i < plots_.size(); ++i) {
        if (!stale_[i]) continue;
        stale_[i] = false;
        plots_[i]->refresh(spanMs(), now);
    }
}

void TrendsWindow::redraw()
{
    stale_.fill(true);
    redrawChanged();
}

void TrendsWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    redraw();
}

bool TrendsWindow::exportCsv(const QString& path)
{
    const QString failure =
        session::SaveTarget::save(path, [this](QIODevice& file) { return data_.table().write(file); });
    if (failure.isEmpty()) return true;
    fw::MessageBox(QStringLiteral("Cannot export the sequences to \"%1\": %2.").arg(path, failure),
                   fw::Application::instance().title(), fw::MsgButtons::Ok, fw::MsgIcon::Error);
    return false;
}

void TrendsWindow::chooseCsvFile()
{
    SaveDialog dialog(this, QStringLiteral("csv"), QStringLiteral("Export CSV"), QStringLiteral("sequences.csv"),
                      QStringLiteral("CSV files (*.csv);;All files (*)"), QStringLiteral("csv"));
    if (const QString path = dialog.choose(); !path.isEmpty()) exportCsv(path);
}
