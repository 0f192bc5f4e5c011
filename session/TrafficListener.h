#pragma once

#include "session/TrafficEvent.h"

namespace session {

// Told of each event on the line by a TrafficFeed, on the window thread.
class TrafficListener {
public:
    virtual ~TrafficListener() = default;
    virtual void traffic(const TrafficEvent& event) = 0;
};

} // namespace session
