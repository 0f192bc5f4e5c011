#pragma once

#include "session/SequenceTable.h"
#include "session/TrafficListener.h"
#include "session/TrendSeries.h"

#include <QObject>
#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

namespace transponder {
struct SequenceRecord;
}

namespace session {

// The quantities the trend plots show, gathered for the whole session whether
// a plot is open or not: the altitude, the supply voltage and the voltage offset
// as the replies give them, the answered queries of each sequence (but one a
// box interrupted), and the ping's round trip (from "p=y" on the line to the
// "p" reply that lights the ping lamp).
//
// A point's time is the wall time of the first point plus the program's
// monotonic time since then, in ms: the plots read wall times, while a wall
// clock set back or forward meanwhile moves no point out of order and makes no
// round trip negative. The wall times themselves stay in the record.
//
// Beside the series, which thin as they fill, it keeps every sequence whole as
// a row of the table the trends export.
class TrendData : public QObject, public TrafficListener {
    Q_OBJECT
public:
    enum Series { Altitude, Volts, Offset, Answered, PingMs };
    static constexpr std::size_t SeriesCount = 5;

    // A value read from a recording: a point, nothing for a value that was
    // not a number, or a break in the line (an outage).
    struct Value {
        double x;
        std::optional<double> y;
        bool breaks = false;
    };

    explicit TrendData(QObject* parent = nullptr);

    void traffic(const TrafficEvent& event) override;
    // A sequence that nothing answered breaks the lines of the values it would
    // have given, as a recorded one does.
    void sequenceEnded(const transponder::SequenceRecord& record);
    // The link was lost: every line breaks here.
    void linkLost(std::chrono::system_clock::time_point time, std::uint64_t tickMs);
    // Values of one series read from a recording, in time order, at once: the
    // plots hear of them once.
    void addRecorded(Series which, const std::vector<Value>& values);
    // Sequences of a recording as CSV rows (SequenceCsv), `count` of them.
    void addRecordedRows(const QByteArray& rows, std::size_t count) { table_.append(rows, count); }

    const TrendSeries& series(Series which) const { return series_[which]; }
    const SequenceTable& table() const { return table_; }
    // Now, on the points' time line; for a recording under review, the moment
    // it was moved to.
    qint64 nowMs() const;
    void setMoment(qint64 ms) { moment_ = ms; }

signals:
    // A point was added to the series, or a value counted as not a number.
    void changed(int series);

private:
    struct Origin {
        double wallMs;
        std::uint64_t tickMs;
    };
    // The x of what happened at `time`, stamped `tickMs`.
    double xOf(std::chrono::system_clock::time_point time, std::uint64_t tickMs);
    void add(Series which, double x, double value);
    void addText(Series which, double x, std::string_view text);

    std::array<TrendSeries, SeriesCount> series_;
    std::optional<Origin> origin_;
    std::optional<std::uint64_t> pingSentMs_; // its tick
    SequenceTable table_;
    std::optional<qint64> moment_;
};

} // namespace session
