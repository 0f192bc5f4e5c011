#include "session/TrendData.h"

#include "framework/Timer.h"
#include "transponder/MessageSet.h"
#include "transponder/ReplyParser.h"
#include "transponder/SequenceRecord.h"

namespace session {

namespace {

double msOf(std::chrono::system_clock::time_point time)
{
    return static_cast<double>(
        std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count());
}

} // namespace

TrendData::TrendData(QObject* parent)
    : QObject(parent)
{
}

qint64 TrendData::nowMs() const
{
    if (moment_) return *moment_;
    if (!origin_) return static_cast<qint64>(msOf(std::chrono::system_clock::now()));
    return static_cast<qint64>(origin_->wallMs) + static_cast<qint64>(fw::tickCount() - origin_->tickMs);
}

double TrendData::xOf(std::chrono::system_clock::time_point time, std::uint64_t tickMs)
{
    if (!origin_) origin_ = Origin{msOf(time), tickMs};
    // In doubles: a tick from before the first point is a point before it, not
    // a wrapped-around difference.
    return origin_->wallMs + (static_cast<double>(tickMs) - static_cast<double>(origin_->tickMs));
}

void TrendData::traffic(const TrafficEvent& event)
{
    table_.frame(event.direction, event.bytes, static_cast<double>(event.tickMs));
    if (event.direction == TrafficDirection::Sent) {
        if (event.bytes == transponder::MessageSet::FirePing()) pingSentMs_ = event.tickMs;
        return;
    }
    if (event.direction != TrafficDirection::Received) return;
    const auto reply = transponder::parseReply(event.bytes);
    if (!reply) return;
    const double x = xOf(event.time, event.tickMs);
    if (reply->shows) {
        const std::string& text = reply->shows->text;
        switch (reply->shows->item) {
        case transponder::Item::Altitude: addText(Altitude, x, text); break;
        case transponder::Item::Volts: addText(Volts, x, text); break;
        case transponder::Item::Offset: {
            // Shown with " V" after the number; the number is what is plotted.
            std::string_view number = text;
            if (number.ends_with(" V")) number.remove_suffix(2);
            addText(Offset, x, number);
            break;
        }
        default: break;
        }
    }
    if (reply->lamp && reply->lamp->lamp == transponder::Lamp::Ping && reply->lamp->lit && pingSentMs_) {
        add(PingMs, x, static_cast<double>(event.tickMs) - static_cast<double>(*pingSentMs_));
        pingSentMs_.reset();
    }
}

void TrendData::sequenceEnded(const transponder::SequenceRecord& record)
{
    // The table has every sequence: an interrupted one still showed what it showed.
    table_.sequence(transponder::sequenceJson(record));
    // Its replies were not read while a box held the panel up: its count says
    // nothing of the link.
    if (record.interrupted) return;
    const double x = xOf(record.time, record.tickMs);
    if (record.answered == 0)
        for (Series which : {Altitude, Volts, Offset}) {
            series_[which].addBreak(x);
            emit changed(which);
        }
    add(Answered, x, record.answered);
}

void TrendData::linkLost(std::chrono::system_clock::time_point time, std::uint64_t tickMs)
{
    const double x = xOf(time, tickMs);
    for (std::size_t which = 0; which < SeriesCount; ++which) {
        series_[which].addBreak(x);
        emit changed(static_cast<int>(which));
    }
}

void TrendData::addRecorded(Series which, const std::vector<Value>& values)
{
    if (values.empty()) return;
    for (const Value& value : values) {
        if (value.breaks)
            series_[which].addBreak(value.x);
        else
            series_[which].addValue(value.x, value.y);
    }
    emit changed(which);
}

void TrendData::add(Series which, double x, double value)
{
    series_[which].add(x, value);
    emit changed(which);
}

void TrendData::addText(Series which, double x, std::string_view text)
{
    series_[which].addText(x, text);
    emit changed(which);
}

} // namespace session
