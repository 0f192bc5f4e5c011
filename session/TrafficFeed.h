#pragma once

#include "serial/SerialTap.h"
#include "session/TrafficListener.h"

#include <QPointer>
#include <chrono>
#include <functional>
#include <vector>

class TSerial;

namespace session {

// The one tap on the serial component that the session's views and the
// recorder share: it stamps each event once, so that the monitor and the record
// give a frame the same time, and hands it to every listener in turn.
class TrafficFeed : public SerialTap {
public:
    using Clock = std::function<std::chrono::system_clock::time_point()>;

    // Taps `serial` for its lifetime, or the component's if that ends first.
    explicit TrafficFeed(TSerial& serial, Clock clock = std::chrono::system_clock::now);
    ~TrafficFeed() override;
    TrafficFeed(const TrafficFeed&) = delete;
    TrafficFeed& operator=(const TrafficFeed&) = delete;

    // Not owned. A listener may be removed while it is being told.
    void addListener(TrafficListener* listener);
    void removeListener(TrafficListener* listener);

    void sent(const std::string& bytes) override { tell(TrafficDirection::Sent, bytes); }
    void received(const std::string& message) override { tell(TrafficDirection::Received, message); }
    void dropped(const std::string& bytes) override { tell(TrafficDirection::Noise, bytes); }

private:
    void tell(TrafficDirection direction, const std::string& bytes);

    QPointer<TSerial> serial_;
    Clock clock_;
    std::vector<TrafficListener*> listeners_;
    int telling_ = 0; // removed listeners stay as null entries until telling is over
};

} // namespace session
