#include "session/LinkQuality.h"

#include <QDateTime>

namespace session {

namespace {

QString clockTime(std::chrono::system_clock::time_point at)
{
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(at.time_since_epoch()).count();
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("HH:mm:ss"));
}

} // namespace

LinkQuality::LinkQuality(QObject* parent, fw::TimerScheduler& scheduler)
    : QObject(parent)
    , scheduler_(scheduler)
    , ticker_(new fw::TTimer(this, scheduler))
{
    ticker_->setInterval(TickMs);
    ticker_->setOnTimer([this](QObject*) { tick(); });
}

void LinkQuality::traffic(const TrafficEvent& event)
{
    if (event.direction != TrafficDirection::Received) return;
    heardAtMs_ = scheduler_.ageClockMs();
    heardAt_ = event.time;
    // A running count goes on: the text is as fresh as it needs to be.
    ticker_->setEnabled(true);
    tick();
}

void LinkQuality::sequenceEnded(int answered, int asked)
{
    if (asked == 0) return;
    answered_ = answered;
    asked_ = asked;
    tick();
}

void LinkQuality::closed(std::chrono::system_clock::time_point at)
{
    closedAt_ = at;
    ticker_->setEnabled(false);
    tick();
}

void LinkQuality::opened()
{
    closedAt_.reset();
    // The age of the last reply counts on from where it would have been.
    if (heardAtMs_) ticker_->setEnabled(true);
    tick();
}

QString LinkQuality::text() const
{
    return text_;
}

void LinkQuality::tick()
{
    QStringList parts;
    if (answered_) parts << QStringLiteral("%1/%2 answered").arg(*answered_).arg(asked_);
    if (closedAt_) {
        parts << QStringLiteral("closed %1").arg(clockTime(*closedAt_));
    } else if (heardAtMs_) {
        const std::uint64_t age = scheduler_.ageClockMs() - *heardAtMs_;
        if (age < 1000) {
            parts << QStringLiteral("last reply <1 s ago");
        } else if (age < CountedMs) {
            parts << QStringLiteral("last reply %1 s ago").arg(age / 1000);
        } else {
            parts << QStringLiteral("last reply at %1").arg(clockTime(heardAt_));
            ticker_->setEnabled(false);
        }
    }
    const QString text = parts.join(QStringLiteral(" · "));
    if (text == text_) return;
    text_ = text;
    emit textChanged(text_);
}

} // namespace session
