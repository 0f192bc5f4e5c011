#include "app/RecordingReview.h"

#include "app/ReviewBar.h"
#include "app/TrafficMonitor.h"
#include "app/TrendsWindow.h"
#include "framework/Application.h"
#include "framework/MessageBoxes.h"
#include "session/RecordedTrafficModel.h"
#include "session/RecordingIndex.h"
#include "session/TrendData.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocale>

#include <limits>

using session::RecordingIndex;

namespace {

// The trends are drawn again at most this often while the index grows.
constexpr qint64 RedrawEveryMs = 500;

qint64 steadyMs()
{
    static QElapsedTimer clock;
    if (!clock.isValid()) clock.start();
    return clock.elapsed();
}

} // namespace

RecordingReview::RecordingReview(const QString& path, const QIcon& icon, QObject* parent)
    : QObject(parent)
    , path_(path)
    , name_(QFileInfo(path).fileName())
    , icon_(icon)
    , index_(new RecordingIndex(this))
    , lines_(new session::RecordedTrafficModel(*index_, this))
{
    setObjectName(QStringLiteral("recordingReview"));
    trends_.push_back(new session::TrendData(this));
    connect(index_, &RecordingIndex::sessionFound, this, &RecordingReview::sessionFound);
    connect(index_, &RecordingIndex::grew, this, &RecordingReview::grew);
    connect(index_, &RecordingIndex::trendValues, this, [this](const RecordingIndex::TrendValues& values) {
        session::TrendData& data = trends(values.session);
        for (std::size_t s = 0; s < values.values.series.size(); ++s)
            data.addRecorded(static_cast<session::TrendData::Series>(s), values.values.series[s]);
        data.addRecordedRows(values.values.rows, values.values.rowCount);
    });
    connect(index_, &RecordingIndex::progress, this, [this](qint64 done, qint64 total) {
        if (bar_) bar_->setProgress(done, total);
    });
    connect(index_, &RecordingIndex::finished, this, &RecordingReview::finished);
}

RecordingReview::~RecordingReview()
{
    // The windows show what this object holds: they go first.
    delete monitor_;
    delete trendsWindow_;
}

ReviewBar* RecordingReview::bar() const
{
    return bar_.data();
}

session::TrendData& RecordingReview::trends(int session)
{
    while (trends_.size() <= static_cast<std::size_t>(session)) trends_.push_back(new session::TrendData(this));
    return *trends_[static_cast<std::size_t>(session)];
}

void RecordingReview::refuse() const
{
    fw::MessageBox(QStringLiteral("Cannot open the recording \"%1\": %2.").arg(path_, index_->errorText()),
                   fw::Application::instance().title(), fw::MsgButtons::Ok, fw::MsgIcon::Error);
}

bool RecordingReview::open()
{
    if (!index_->open(path_)) {
        refuse();
        return false;
    }
    monitor_ = new TrafficMonitor(*lines_);
    monitor_->setObjectName(QStringLiteral("ReviewMonitor"));
    monitor_->setWindowTitle(QStringLiteral("Traffic Monitor \u2014 %1").arg(name_));
    monitor_->setAttribute(Qt::WA_DeleteOnClose);
    bar_ = new ReviewBar(monitor_);
    monitor_->addBar(bar_);
    connect(bar_, &ReviewBar::sessionChosen, this, &RecordingReview::chooseSession);
    connect(bar_, &ReviewBar::momentChosen, this, &RecordingReview::goTo);
    connect(bar_, &ReviewBar::cancelRequested, index_, &RecordingIndex::cancel);
    connect(bar_, &ReviewBar::trendsRequested, this, [this] { bringUp(trendsWindow_); });
    connect(monitor_, &QObject::destroyed, this, [this] {
        index_->cancel();
        deleteLater();
    });
    showTrends();
    bringUp(monitor_);
    return true;
}

// The windows have no parent, as the live ones: they close with the program.
void RecordingReview::bringUp(QWidget* window)
{
    window->setAttribute(Qt::WA_QuitOnClose, false);
    window->setWindowIcon(icon_);
    window->show();
    window->raise();
    window->activateWindow();
}

void RecordingReview::showTrends()
{
    QRect geometry;
    if (trendsWindow_) {
        geometry = trendsWindow_->geometry();
        delete trendsWindow_;
    }
    trendsWindow_ = new TrendsWindow(trends(session_));
    trendsWindow_->setObjectName(QStringLiteral("ReviewTrends"));
    trendsWindow_->setWindowTitle(QStringLiteral("Trends \u2014 %1").arg(name_));
    // The whole session, up to the moment shown.
    trendsWindow_->setSpan(TrendsWindow::Everything);
    if (geometry.isValid()) trendsWindow_->setGeometry(geometry);
    trends(session_).setMoment(moment_.value_or(sessionLastMs()));
    bringUp(trendsWindow_);
}

void RecordingReview::sessionFound(int number)
{
    const RecordingIndex::Session& s = index_->sessions()[static_cast<std::size_t>(number) - 1];
    // The session before it ends where it begins.
    if (number == session_ + 1) lines_->setEnd(s.firstLine);
    if (!bar_) return;
    const QLocale locale;
    if (number == 1 && s.firstLine > 0)
        bar_->addSession(0, QStringLiteral("0: %1 line(s) before the first start")
                                .arg(locale.toString(static_cast<qulonglong>(s.firstLine))));
    const QString port = s.port.isEmpty() ? QStringLiteral("no port") : s.port;
    bar_->addSession(number, QStringLiteral("%1: %2, %3")
                                 .arg(number)
                                 .arg(QDateTime::fromMSecsSinceEpoch(s.timeMs).toString(
                                          QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                                      port));
    // The first session is shown first, as the tools take it by default.
    if (number == 1) bar_->showSession(1);
}

qint64 RecordingReview::sessionLastMs() const
{
    // A session that a start follows ends before it.
    if (static_cast<std::size_t>(session_) < index_->sessions().size()) {
        const quint64 end = index_->sessionEnd(session_);
        for (quint64 n = end; n > index_->sessionFirst(session_); --n)
            if (const auto line = index_->read(n - 1); line.kind != session::RecordedLine::Kind::Unparsed)
                return line.timeMs;
    }
    return index_->lastTimeMs();
}

void RecordingReview::grew()
{
    if (!bar_) return;
    const auto& sessions = index_->sessions();
    const qint64 first = session_ >= 1 && static_cast<std::size_t>(session_) <= sessions.size()
                             ? sessions[static_cast<std::size_t>(session_) - 1].timeMs
                             : index_->read(index_->sessionFirst(session_)).timeMs;
    const qint64 last = sessionLastMs();
    bar_->setSpan(first, last);
    bar_->showMoment(moment_.value_or(last));
    if (moment_ || !trendsWindow_) return;
    // Following the end: the trends show the session as far as it is read.
    trends(session_).setMoment(last);
    if (const qint64 now = steadyMs(); now - lastRedraw_ >= RedrawEveryMs) {
        lastRedraw_ = now;
        trendsWindow_->redraw();
    }
}

void RecordingReview::finished()
{
    if (!bar_) return;
    if (!index_->errorText().isEmpty()) {
        // The name was a file, but it could not be opened.
        refuse();
        monitor_->close();
        return;
    }
    bar_->indexed();
    // A file without a start object is all session 0, as the tools count it.
    if (index_->sessions().empty()) bar_->addSession(0, QStringLiteral("0: no start object"));
    grew();
    if (trendsWindow_) trendsWindow_->redraw();
    updateNote();
    emit indexed();
}

void RecordingReview::updateNote()
{
    if (!bar_) return;
    QStringList notes;
    const QLocale locale;
    if (index_->cancelled())
        notes << QStringLiteral("Reading was cancelled: the first %1 lines are shown.")
                     .arg(locale.toString(static_cast<qulonglong>(index_->lineCount())));
    if (const quint64 bad = index_->unparsed())
        notes << (bad == 1 ? QStringLiteral("1 line does not read; it is shown as \"bad\".")
                  : bad <= RecordingIndex::MaxIndexedUnreadable
                      ? QStringLiteral("%1 lines do not read; they are shown as \"bad\".")
                            .arg(locale.toString(static_cast<qulonglong>(bad)))
                      : QStringLiteral("%1 lines do not read; the first %2 are shown as \"bad\", the rest left out.")
                            .arg(locale.toString(static_cast<qulonglong>(bad)))
                            .arg(RecordingIndex::MaxIndexedUnreadable));
    if (index_->cutLastLine())
        notes << QStringLiteral("The recording ends in a partial last line, as a crash leaves it.");
    switch (index_->chain()) {
    case RecordingIndex::Chain::None: notes << QStringLiteral("It carries no hash chain."); break;
    case RecordingIndex::Chain::Holds: notes << QStringLiteral("Its hash chain holds."); break;
    case RecordingIndex::Chain::Broken:
        notes << QStringLiteral("Its hash chain breaks at line %1: it was changed after it was written "
                                "(xpdrctl verify says how).")
                     .arg(locale.toString(static_cast<qulonglong>(index_->chainBreak() + 1)));
        break;
    }
    if (index_->sessions().size() > 1)
        notes << QStringLiteral("The file holds %1 sessions.").arg(index_->sessions().size());
    if (const quint64 before = index_->sessionEnd(0); before > 0 && !index_->sessions().empty())
        notes << QStringLiteral("%1 line(s) before the first start are session 0.")
                     .arg(locale.toString(static_cast<qulonglong>(before)));
    bar_->setNote(notes.join(QLatin1Char(' ')));
}

void RecordingReview::chooseSession(int number)
{
    if (number < 0) return;
    session_ = number;
    moment_.reset();
    // No start follows the last session (yet): it reaches to the end.
    const bool last = static_cast<std::size_t>(number) >= index_->sessions().size();
    lines_->setRange(index_->sessionFirst(number),
                     last ? std::numeric_limits<quint64>::max() : index_->sessionEnd(number));
    if (trendsWindow_) showTrends();
    grew();
    if (monitor_) monitor_->showRow(0);
}

void RecordingReview::goTo(qint64 ms)
{
    moment_ = ms;
    const quint64 first = index_->sessionFirst(session_);
    const quint64 line = index_->lineAt(ms, first, index_->sessionEnd(session_));
    if (monitor_) monitor_->showRow(lines_->rowAtOrAfter(line));
    if (bar_) bar_->showMoment(ms);
    trends(session_).setMoment(ms);
    if (trendsWindow_) trendsWindow_->redraw();
}
