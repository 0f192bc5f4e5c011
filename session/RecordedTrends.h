#pragma once

#include "session/RecordedLine.h"
#include "session/SequenceCsv.h"
#include "session/TrendData.h"

#include <array>
#include <optional>
#include <vector>

namespace session {

// The trends of a recording, read line by line as the live trends take them
// from the line: from each sequence its altitude, supply voltage and voltage
// offset, and its answered queries unless a box interrupted it; the ping's
// round trip, from "p=y" going out to the "p" reply that lit the lamp, by the
// recorded wall times; and each sequence's CSV row for the trends' export.
// A start object begins a session afresh.
class RecordedTrends {
public:
    struct Values {
        std::array<std::vector<TrendData::Value>, TrendData::SeriesCount> series;
        QByteArray rows; // SequenceCsv's
        std::size_t rowCount = 0;
    };

    // Adds what `line` gives to `values`.
    void take(const RecordedLine& line, Values& values);

private:
    std::optional<qint64> pingSentMs_;
    SequenceCsv csv_;
};

} // namespace session
