#pragma once

#include "session/RecordedLine.h"
#include "session/TrendData.h"

#include <array>
#include <optional>
#include <vector>

namespace session {

// The trend values of a recording, read line by line as the live trends take
// them from the line: from each sequence its altitude, supply voltage and
// voltage offset, and its answered queries unless a box interrupted it; and the
// ping's round trip, from "p=y" going out to the "p" reply that lit the lamp,
// by the recorded wall times.
class RecordedTrends {
public:
    using Values = std::array<std::vector<TrendData::Value>, TrendData::SeriesCount>;

    // Adds what `line` gives to `values`.
    void take(const RecordedLine& line, Values& values);

private:
    std::optional<qint64> pingSentMs_;
};

} // namespace session
