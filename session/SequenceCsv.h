#pragma once

#include "session/TrafficEvent.h"

#include <QByteArray>
#include <QJsonObject>
#include <optional>
#include <string_view>

namespace session {

// The sequences as a spreadsheet reads them, the same from the live session
// and from a recording: one row a sequence, its wall time in ISO 8601 with
// milliseconds, the nine items, and the round trip of the ping that came back
// since the row before ("p=y" out to the "p" reply that lights the ping lamp,
// as the trends measure it), empty when none did. Texts are UTF-8, quoted where
// they hold a comma, a quote or a line end; one that a spreadsheet would take
// for a formula gets a "'" in front.
class SequenceCsv {
public:
    // The first line: the columns' names, the items by their stable keys.
    static QByteArray header();

    // A frame on the line at `ms`, on any time line that runs forward.
    void frame(TrafficDirection direction, std::string_view bytes, double ms);
    // The row of one sequence, given as its object on record, with its line end.
    QByteArray row(const QJsonObject& sequence);

private:
    std::optional<double> pingSentMs_;
    std::optional<double> roundTripMs_;
};

} // namespace session
