#pragma once

#include "transponder/AlarmModel.h"
#include "transponder/SequenceRecord.h"

#include <QString>
#include <chrono>
#include <optional>
#include <vector>

namespace links {

// One link of another machine's fleet, as that machine published it through
// the operations room's broker. A viewer only reads it: the port is held
// there, so no command and no hand-over to the panel can reach it.
struct RemoteRow {
    QString publisher; // the name the fleet publishes under
    QString port;      // its COM name there, "COM3"
    // Its last sequence, once one was published.
    std::optional<transponder::SequenceRecord> record;
    // The link's state there, in the fleet's words ("polling", or the failure).
    QString link;
    // Whether its values are current there (a round was answered); a row that
    // is not answering shows its last values greyed, as a local row does.
    bool answering = false;
    // When the publisher sent it, by the publisher's clock.
    std::chrono::system_clock::time_point published{};
    // This machine's clock less the publisher's, where a live message let it
    // be measured: a difference beyond 2 s makes ages read from `published`
    // unreliable, and the row says so.
    std::optional<std::chrono::milliseconds> clockDifference;
    // The alarms as published there, each in its state there.
    std::vector<transponder::Alarm> alarms;
};

} // namespace links
