#include "session/TrendData.h"

#include "framework/VirtualClock.h"
#include "transponder/SequenceRecord.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

using session::TrafficDirection;
using session::TrendData;

namespace {

std::chrono::system_clock::time_point at(long long ms)
{
    return std::chrono::system_clock::time_point(std::chrono::milliseconds(ms));
}

std::vector<std::pair<double, double>> pointsOf(const TrendData& data, TrendData::Series which)
{
    std::vector<std::pair<double, double>> points;
    for (const QPointF& p : data.series(which).points()) points.emplace_back(p.x(), p.y());
    return points;
}

} // namespace

TEST(TrendData, HoldsTheDecodedValuesOfASessionAndCountsWhatIsNoNumber)
{
    TrendData data;
    QSignalSpy changed(&data, &TrendData::changed);
    struct Line {
        long long ms;
        TrafficDirection direction;
        const char* bytes;
    };
    const Line session[] = {
        {1000, TrafficDirection::Sent, "\x02" "a=?\x03"},
        {1010, TrafficDirection::Received, "\x02" "a=1000\x03"},
        {1070, TrafficDirection::Received, "\x02" "f= 1.2 \x03"},
        {1130, TrafficDirection::Received, "\x02" "v=27.9\x03"},
        {1140, TrafficDirection::Received, "\x02" "c=1200\x03"},  // not plotted
        {2010, TrafficDirection::Received, "\x02" "a=--\x03"},    // not a number
        {2070, TrafficDirection::Received, "\x02" "f=\x03"},      // not a number
        {2130, TrafficDirection::Received, "\x02" "v=28.1\x03"},
        {2140, TrafficDirection::Noise, "v=99"},                   // noise is no reply
        {2150, TrafficDirection::Received, "\x02" "p=Y\x03"},      // no ping was fired
        {3000, TrafficDirection::Sent, "\x02" "p=y\x03"},
        {3042, TrafficDirection::Received, "\x02" "p=N\x03"},      // no ping reply
        {3050, TrafficDirection::Received, "\x02" "p=Y\x03"},
        {3060, TrafficDirection::Received, "\x02" "p=Y\x03"},      // answers no ping
        {4010, TrafficDirection::Received, "\x02" "a=1025\x03"},
    };
    // The program's clock reads as the wall clock here: no step between them.
    for (const Line& l : session) data.traffic({at(l.ms), l.direction, l.bytes, static_cast<std::uint64_t>(l.ms)});
    transponder::SequenceRecord record;
    record.time = at(1000);
    record.tickMs = 1000;
    record.answered = 13;
    data.sequenceEnded(record);
    record.interrupted = true; // a box held the panel up: its count is left out
    record.answered = 0;
    data.sequenceEnded(record);

    using Points = std::vector<std::pair<double, double>>;
    EXPECT_EQ(pointsOf(data, TrendData::Altitude), (Points{{1010, 1000}, {4010, 1025}}));
    EXPECT_EQ(pointsOf(data, TrendData::Offset), (Points{{1070, 1.2}}));
    EXPECT_EQ(pointsOf(data, TrendData::Volts), (Points{{1130, 27.9}, {2130, 28.1}}));
    EXPECT_EQ(pointsOf(data, TrendData::PingMs), (Points{{3050, 50}}));
    EXPECT_EQ(pointsOf(data, TrendData::Answered), (Points{{1000, 13}}));
    EXPECT_EQ(data.series(TrendData::Altitude).notNumbers(), 1u);
    EXPECT_EQ(data.series(TrendData::Offset).notNumbers(), 1u);
    EXPECT_EQ(data.series(TrendData::Volts).notNumbers(), 0u);
    EXPECT_EQ(changed.count(), 9);
}

TEST(TrendData, AWallClockSetBackOrForwardMovesNoPointAndBendsNoRoundTrip)
{
    using Points = std::vector<std::pair<double, double>>;
    constexpr long long Wall = 1'796'000'000'000;
    const long long steps[] = {0, -3'600'000, 3'600'000, -1, -Wall};
    for (const long long step : steps) {
        SCOPED_TRACE(step);
        fw::ScopedVirtualClock clock;
        TrendData data;
        // The wall clock is set by `step` between the ping and its answer; the
        // program's clock runs on.
        const struct {
            long long tick;
            TrafficDirection direction;
            const char* bytes;
        } lines[] = {
            {1000, TrafficDirection::Received, "\x02" "a=1000\x03"},
            {1500, TrafficDirection::Sent, "\x02" "p=y\x03"},
            {1540, TrafficDirection::Received, "\x02" "p=Y\x03"},
            {2000, TrafficDirection::Received, "\x02" "a=1010\x03"},
        };
        for (const auto& l : lines) {
            const long long wall = Wall + l.tick - 1000 + (l.tick > 1500 ? step : 0);
            data.traffic({at(wall), l.direction, l.bytes, static_cast<std::uint64_t>(l.tick)});
        }
        transponder::SequenceRecord record;
        record.time = at(Wall + 1100 + step);
        record.tickMs = 2100;
        record.answered = 14;
        data.sequenceEnded(record);

        EXPECT_EQ(pointsOf(data, TrendData::Altitude), (Points{{Wall, 1000}, {Wall + 1000, 1010}}));
        EXPECT_EQ(pointsOf(data, TrendData::PingMs), (Points{{Wall + 540, 40}}));
        EXPECT_EQ(pointsOf(data, TrendData::Answered), (Points{{Wall + 1100, 14}}));
        clock.advance(2200);
        EXPECT_EQ(data.nowMs(), Wall + 1200);

        // What a plot draws of points out of order stays within them, with no
        // column index wrapped around below zero.
        const std::vector<QPointF> disordered = {{double(Wall), 1}, {double(Wall + step), 2}, {double(Wall - 5), 3},
                                                 {double(Wall + 10), 4}, {double(Wall + step / 2), 5}};
        for (const int columns : {1, 2}) {
            const std::vector<QPointF> kept =
                session::envelope(disordered.data(), disordered.data() + disordered.size(), columns);
            EXPECT_LE(kept.size(), disordered.size());
            for (const QPointF& p : kept)
                EXPECT_NE(std::find(disordered.begin(), disordered.end(), p), disordered.end());
        }
    }
}
