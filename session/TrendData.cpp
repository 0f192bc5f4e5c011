#include "session/TrendData.h"

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

void TrendData::traffic(const TrafficEvent& event)
{
    if (event.direction == TrafficDirection::Sent) {
        if (event.bytes == transponder::MessageSet::FirePing()) pingSent_ = event.time;
        return;
    }
    if (event.direction != TrafficDirection::Received) return;
    const auto reply = transponder::parseReply(event.bytes);
    if (!reply) return;
    if (reply->shows) {
        const std::string& text = reply->shows->text;
        switch (reply->shows->item) {
        case transponder::Item::Altitude: addText(Altitude, event.time, text); break;
        case transponder::Item::Volts: addText(Volts, event.time, text); break;
        case transponder::Item::Offset: {
            // Shown with " V" after the number; the number is what is plotted.
            std::string_view number = text;
            if (number.ends_with(" V")) number.remove_suffix(2);
            addText(Offset, event.time, number);
            break;
        }
        default: break;
        }
    }
    if (reply->lamp && reply->lamp->lamp == transponder::Lamp::Ping && reply->lamp->lit && pingSent_) {
        add(PingMs, event.time, std::chrono::duration<double, std::milli>(event.time - *pingSent_).count());
        pingSent_.reset();
    }
}

void TrendData::sequenceEnded(const transponder::SequenceRecord& record)
{
    add(Answered, record.time, record.answered);
}

void TrendData::add(Series which, std::chrono::system_clock::time_point time, double value)
{
    series_[which].add(msOf(time), value);
    emit changed(which);
}

void TrendData::addText(Series which, std::chrono::system_clock::time_point time, std::string_view text)
{
    series_[which].addText(msOf(time), text);
    emit changed(which);
}

} // namespace session
