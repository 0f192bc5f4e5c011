#pragma once

#include "session/TrafficListener.h"
#include "session/TrendSeries.h"

#include <QObject>
#include <array>
#include <chrono>
#include <optional>

namespace transponder {
struct SequenceRecord;
}

namespace session {

// The quantities the trend plots show, gathered for the whole session whether
// a plot is open or not: the altitude, the supply voltage and the voltage offset
// as the replies give them, the answered queries of each sequence, and the
// ping's round trip (from "p=y" on the line to the "p" reply that lights the
// ping lamp). Times are wall times in ms since the epoch.
class TrendData : public QObject, public TrafficListener {
    Q_OBJECT
public:
    enum Series { Altitude, Volts, Offset, Answered, PingMs };
    static constexpr std::size_t SeriesCount = 5;

    explicit TrendData(QObject* parent = nullptr);

    void traffic(const TrafficEvent& event) override;
    void sequenceEnded(const transponder::SequenceRecord& record);

    const TrendSeries& series(Series which) const { return series_[which]; }

signals:
    // A point was added to the series, or a value counted as not a number.
    void changed(int series);

private:
    void add(Series which, std::chrono::system_clock::time_point time, double value);
    void addText(Series which, std::chrono::system_clock::time_point time, std::string_view text);

    std::array<TrendSeries, SeriesCount> series_;
    std::optional<std::chrono::system_clock::time_point> pingSent_;
};

} // namespace session
