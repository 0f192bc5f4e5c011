#include "session/TrafficFeed.h"

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
    TSerial serial;
    int ticks = 0;
    TrafficFeed feed(serial, [&] { return std::chrono::system_clock::time_point(std::chrono::seconds(++ticks)); });
    Collector first, second;
    feed.addListener(&first);
    feed.addListener(&second);
    // The second listener goes while the first is being told: it hears nothing.
    first.onTraffic = [&] { feed.removeListener(&second); };

    feed.sent("\x02" "a=?\x03");
    feed.received("\x02" "a=1\x03");
    feed.dropped("xx");

    ASSERT_EQ(first.events.size(), 3u);
    EXPECT_TRUE(second.events.empty());
    const TrafficDirection directions[] = {TrafficDirection::Sent, TrafficDirection::Received, TrafficDirection::Noise};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(first.events[i].direction, directions[i]);
        EXPECT_EQ(first.events[i].time, std::chrono::system_clock::time_point(std::chrono::seconds(i + 1)));
    }
    EXPECT_EQ(first.events[2].bytes, "xx");
}
