#pragma once

#include "transponder/StatusModel.h"

#include <QJsonObject>
#include <chrono>
#include <cstdint>
#include <map>
#include <string>

namespace transponder {

// What one sequence of queries found out: the status display it leaves, the
// last value received for each letter, and which queries went unanswered.
struct SequenceRecord {
    std::chrono::system_clock::time_point time; // when the sequence started
    // fw::tickCount() then, where sequences are spaced in time against the
    // traffic (the panel's trends); 0 where no one does.
    std::uint64_t tickMs = 0;
    StatusModel status;
    std::map<char, std::string> raw;
    int answered = 0;
    std::string unanswered; // letters, in the order they were asked
    // A box held the program up while the sequence ran, so replies that came
    // meanwhile were not read: none of its queries is called unanswered.
    bool interrupted = false;
    std::string asked; // letters of the queries that went out, where known
};

// The record as one JSON object with stable keys, the same for every program
// that writes one: "time" (ISO 8601, UTC, milliseconds); the nine items under
// "mode", "code", "replies", "spi", "altitude", "volts", "offset", "version" and
// "ping", each the text the panel's label would show; "raw", an object of the
// last value per letter; "answered", a number; "unanswered", a list of letters.
// An interrupted sequence adds "interrupted": true and "asked", the list of the
// letters whose queries went out.
QJsonObject sequenceJson(const SequenceRecord& record);

} // namespace transponder
