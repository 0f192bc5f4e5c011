#include "framework/VirtualClock.h"
#include "session/LinkQuality.h"

#include <QDateTime>
#include <QSignalSpy>
#include <gtest/gtest.h>

using session::LinkQuality;
using session::TrafficDirection;
using session::TrafficEvent;

TEST(LinkQuality, CountsTheAgeOfTheLastReplyForAMinuteThenGivesItsTimeAndSleeps)
{
    fw::ScopedVirtualClock clock;
    LinkQuality quality(nullptr, clock);
    EXPECT_EQ(quality.text(), QString());
    EXPECT_EQ(clock.nextDueIn(), -1);

    const long long sentAt = QDateTime(QDate(2026, 12, 7), QTime(12, 3, 44)).toMSecsSinceEpoch();
    const auto at = std::chrono::system_clock::time_point(std::chrono::milliseconds(sentAt));
    quality.traffic({at, TrafficDirection::Sent, "\x02" "e=?\x03"});
    EXPECT_EQ(quality.text(), QString()) << "a frame sent is no reply";
    quality.traffic({at, TrafficDirection::Received, "\x02" "e=1\x03"});
    quality.sequenceEnded(13, 14);
    EXPECT_EQ(quality.text(), QStringLiteral("13/14 answered · last reply <1 s ago"));

    struct Step {
        std::uint64_t advanceMs;
        const char* text;
    };
    const Step steps[] = {
        {1000, "13/14 answered · last reply 1 s ago"},
        {2000, "13/14 answered · last reply 3 s ago"},
        {56'000, "13/14 answered · last reply 59 s ago"},
        {1000, "13/14 answered · last reply at 12:03:44"},
    };
    for (const Step& step : steps) {
        clock.advance(step.advanceMs);
        EXPECT_EQ(quality.text(), QString::fromUtf8(step.text));
    }
    EXPECT_EQ(clock.nextDueIn(), -1) << "an old reply keeps no timer running";

    QSignalSpy changed(&quality, &LinkQuality::textChanged);
    quality.traffic({at, TrafficDirection::Received, "\x02*=\x03"});
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(quality.text(), QStringLiteral("13/14 answered · last reply <1 s ago"));
    EXPECT_EQ(clock.nextDueIn(), 1000);
}

TEST(LinkQuality, CountsOnlyQueriesThatWentOutAndStopsCountingOnceTheLinkIsClosed)
{
    fw::ScopedVirtualClock clock;
    LinkQuality quality(nullptr, clock);
    const auto at = std::chrono::system_clock::time_point(
        std::chrono::milliseconds(QDateTime(QDate(2026, 12, 7), QTime(12, 3, 44)).toMSecsSinceEpoch()));
    quality.traffic({at, TrafficDirection::Received, "\x02" "a=1\x03"});
    quality.sequenceEnded(0, 1);
    quality.sequenceEnded(0, 0); // nothing went out: nothing to count
    quality.closed(at);
    clock.advance(31'000);
    EXPECT_EQ(quality.text(), QStringLiteral("0/1 answered · closed 12:03:44"));
    EXPECT_EQ(clock.nextDueIn(), -1);
    quality.opened();
    EXPECT_EQ(quality.text(), QStringLiteral("0/1 answered · last reply 31 s ago"));
}
