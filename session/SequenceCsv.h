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
// as the trends measure it), empty when none did; then how many of its queries
// were answered and how many were not, so that an outage shows as rows of
// unanswered queries. A sequence that a box interrupted says "interrupted" in
// place of the unanswered count, one that the link's loss cut short says
// "link lost". Texts are UTF-8, quoted where
// they hold a comma, a quote or a line end; one that a spreadsheet would take
// for a formula gets a "'" in front.
class SequenceCsv {
public:
    // The first line: the columns' names, the items by their stable keys.
    static QByteArray header();

    // A frame on the line at `ms`, on any time line that runs forward.
    void frame(TrafficDirection direction, std::string_view bytes, double ms);
    // An alarm line on record: the link's loss and return mark the rows.
    void alarm(const QJsonObject& alarm);
    // Whether an alarm line says the link is lost (its alarm active).
    static bool linkLoss(const QJsonObject& alarm);
    // The row of one sequence, given as its object on record, with its line end.
    QByteArray row(const QJsonObject& sequence);

private:
    bool linkLost_ = false;   // the link-lost alarm is active
    bool lossInRow_ = false;  // the link was lost since the row before
    std::optional<double> pingSentMs_;
    std::optional<double> roundTripMs_;
};

} // namespace session
