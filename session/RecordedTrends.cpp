#include "session/RecordedTrends.h"

#include "session/TrendSeries.h"
#include "transponder/MessageSet.h"
#include "transponder/ReplyParser.h"

namespace session {

void RecordedTrends::take(const RecordedLine& line, Values& values)
{
    const auto x = static_cast<double>(line.timeMs);
    auto& series = values.series;
    switch (line.kind) {
    case RecordedLine::Kind::Start:
        pingSentMs_.reset();
        csv_ = SequenceCsv();
        break;
    case RecordedLine::Kind::Sequence: {
        const auto text = [&](const char* key) {
            return line.object.value(QLatin1StringView(key)).toString().toLatin1();
        };
        // A sequence that nothing answered is an outage of the values it
        // would have given: their lines break there.
        if (line.object.value(QLatin1StringView("answered")).toInt() == 0 &&
            !line.object.value(QLatin1StringView("interrupted")).toBool())
            for (auto which : {TrendData::Altitude, TrendData::Volts, TrendData::Offset})
                series[which].push_back({x, std::nullopt, true});
        series[TrendData::Altitude].push_back({x, trendNumber(text("altitude").toStdString())});
        series[TrendData::Volts].push_back({x, trendNumber(text("volts").toStdString())});
        // Shown with " V" after the number; the number is what is plotted.
        QByteArray offset = text("offset");
        if (offset.endsWith(" V")) offset.chop(2);
        series[TrendData::Offset].push_back({x, trendNumber(offset.toStdString())});
        if (!line.object.value(QLatin1StringView("interrupted")).toBool())
            series[TrendData::Answered].push_back({x, line.object.value(QLatin1StringView("answered")).toDouble()});
        values.rows += csv_.row(line.object);
        ++values.rowCount;
        break;
    }
    case RecordedLine::Kind::Frame: {
        const std::string bytes = line.payload.toStdString();
        csv_.frame(line.direction, bytes, x);
        if (line.direction == TrafficDirection::Sent) {
            if (bytes == transponder::MessageSet::FirePing()) pingSentMs_ = line.timeMs;
            break;
        }
        if (line.direction != TrafficDirection::Received || !pingSentMs_) break;
        const auto reply = transponder::parseReply(bytes);
        if (reply && reply->lamp && reply->lamp->lamp == transponder::Lamp::Ping && reply->lamp->lit) {
            series[TrendData::PingMs].push_back({x, static_cast<double>(line.timeMs - *pingSentMs_)});
            pingSentMs_.reset();
        }
        break;
    }
    case RecordedLine::Kind::Alarm:
        csv_.alarm(line.object);
        // The link's loss breaks every line where it was noticed.
        if (SequenceCsv::linkLoss(line.object))
            for (auto& values : series) values.push_back({x, std::nullopt, true});
        break;
    default: break;
    }
}

} // namespace session
