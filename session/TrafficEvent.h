#pragma once

#include <chrono>
#include <string>

namespace session {

// Which way bytes went on the line. Noise is what arrived outside a frame and
// was dropped by message assembly.
enum class TrafficDirection { Sent, Received, Noise };

// One thing that happened on the line: a frame written, a message received, or
// a run of dropped bytes, stamped with the wall time once for every consumer.
struct TrafficEvent {
    std::chrono::system_clock::time_point time;
    TrafficDirection direction = TrafficDirection::Sent;
    std::string bytes;

    bool operator==(const TrafficEvent&) const = default;
};

// "out", "in" or "noise": the direction as the record and the monitor write it.
const char* directionName(TrafficDirection direction);

} // namespace session
