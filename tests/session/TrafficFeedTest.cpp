#include "session/TrafficFeed.h"

#include "framework/VirtualClock.h"
#include "serial/Serial2.h"

#include <gtest/gtest.h>

using session::TrafficDirection;
using session::TrafficEvent;
using session::TrafficFeed;

namespace {

struct Collector : session::TrafficListener {
    std::vector<TrafficEvent> events;
    std::function<void()> onTraffic;
    void traffic(const TrafficEvent& event) override
    {
        events.push_back(event);
        if (onTraffic) onTraffic();
    }
};

} // namespace

TEST(TrafficFeed, GivesEveryListenerTheSameStampedEvent)
{
    // The monotonic stamp comes from the program's clock: a virtual one, at 0.
    fw::ScopedVirtualClock clock;
    TSerial serial;
    int ticks = 0;
    TrafficFeed feed(serial, [&] { return std::chrono::system_clock::time_point(std::chrono::seconds(++ticks)); });
    Collector first, second;
    feed.addListener(&first);
    feed.addListener(&second);
    // The second listener goes while the first is told the third event: it hears the first two only.
    first.onTraffic = [&] { if (first.events.size() == 3) feed.removeListener(&second); };

    feed.sent("\x02" "a=?\x03");
    feed.received("\x02" "a=1\x03");
    feed.dropped("xx");

    const TrafficEvent expected[] = {
        {std::chrono::system_clock::time_point(std::chrono::seconds(1)), TrafficDirection::Sent, "\x02" "a=?\x03"},
        {std::chrono::system_clock::time_point(std::chrono::seconds(2)), TrafficDirection::Received, "\x02" "a=1\x03"},
        {std::chrono::system_clock::time_point(std::chrono::seconds(3)), TrafficDirection::Noise, "xx"},
    };
    EXPECT_EQ(first.events, std::vector<TrafficEvent>(std::begin(expected), std::end(expected)));
    EXPECT_EQ(second.events, std::vector<TrafficEvent>(std::begin(expected), std::begin(expected) + 2));
}
