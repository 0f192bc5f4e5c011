#include "session/TrafficFeed.h"

#include "framework/Timer.h"
#include "serial/Serial2.h"

#include <algorithm>

namespace session {

const char* directionName(TrafficDirection direction)
{
    switch (direction) {
    case TrafficDirection::Sent: return "out";
    case TrafficDirection::Received: return "in";
    case TrafficDirection::Noise: return "noise";
    }
    return "";
}

TrafficFeed::TrafficFeed(TSerial& serial, Clock clock)
    : serial_(&serial)
    , clock_(std::move(clock))
{
    serial.addTap(this);
}

TrafficFeed::~TrafficFeed()
{
    if (serial_) serial_->removeTap(this);
}

void TrafficFeed::addListener(TrafficListener* listener)
{
    listeners_.push_back(listener);
}

void TrafficFeed::removeListener(TrafficListener* listener)
{
    std::replace(listeners_.begin(), listeners_.end(), listener, static_cast<TrafficListener*>(nullptr));
    if (telling_ == 0) std::erase(listeners_, nullptr);
}

void TrafficFeed::tell(TrafficDirection direction, const std::string& bytes)
{
    const TrafficEvent event{clock_(), direction, bytes, fw::tickCount()};
    // By index: a listener may add or remove listeners while it is told.
    ++telling_;
    for (std::size_t i = 0; i < listeners_.size(); ++i)
        if (TrafficListener* listener = listeners_[i]) listener->traffic(event);
    if (--telling_ == 0) std::erase(listeners_, nullptr);
}

} // namespace session
