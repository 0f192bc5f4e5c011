#include "transponder/QuerySequencer.h"

#include "framework/Conversions.h"
#include "framework/VirtualClock.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using transponder::QuerySequencer;

namespace {

// A host that records what the sequencer does and answers from fields.
struct Host : transponder::SequencerHost {
    int interval() override
    {
        if (seconds.empty()) throw fw::EConvertError("'' is not a valid integer value");
        return std::stoi(seconds);
    }
    std::optional<std::string> simulatedAltitude() override { return altitude; }
    void send(const std::string& frame) override { sent += frame.substr(1, frame.size() - 2) + ' '; }
    void autoSwitched(bool on) override { autoLamp = on; }
    void sequenceRunning(bool running) override { events += running ? "start " : "end "; }
    void linkSilent() override { events += "silent "; }
    void pingExpired() override { events += "ping-out "; }

    std::string seconds = "1";
    std::optional<std::string> altitude;
    std::string sent;
    std::string events;
    bool autoLamp = false;
};

struct SequencerTest : ::testing::Test {
    SequencerTest()
    {
        countdown.setOnTimer([this](QObject*) { sequencer.countdownTick(); });
        spacing.setOnTimer([this](QObject*) { sequencer.spacingTick(); });
        watchdog.setOnTimer([this](QObject*) { sequencer.watchdogTick(); });
        sequencer.reloadCountdown();
    }

    // Moves the clock in steps of `ms`, sending what falls due after each.
    void run(unsigned totalMs, unsigned ms = 10)
    {
        for (unsigned t = 0; t < totalMs; t += ms) {
            clock.advance(ms);
            sequencer.sendDue();
        }
    }
    // The transponder answers whatever was asked last.
    void answer()
    {
        sequencer.replyDecoded();
        sequencer.sendDue();
    }

    fw::ScopedVirtualClock clock;
    fw::TTimer countdown, spacing, watchdog;
    Host host;
    QuerySequencer sequencer{host, countdown, spacing, watchdog};
};

} // namespace

TEST_F(SequencerTest, AnAnsweredSequenceAsksFourteenItemsSixtyMillisecondsApartThenCountsDownAgain)
{
    sequencer.toggleAuto();
    EXPECT_TRUE(host.autoLamp);
    run(1000);
    EXPECT_TRUE(sequencer.running());
    EXPECT_EQ(host.events, "start ");
    for (int i = 0; i < 14; ++i) {
        run(50);
        EXPECT_EQ(host.sent.size(), static_cast<std::size_t>(4 * i)) << "a query went out early";
        run(10);
        answer();
    }
    EXPECT_EQ(host.sent, "a=? c=? f=? i=? r=? s=? v=? o=? u=? n=? l=? d=? z=? e=? ");
    EXPECT_EQ(host.events, "start end ");
    EXPECT_FALSE(sequencer.running());

    host.sent.clear();
    run(1000);
    run(60);
    EXPECT_EQ(host.sent, "a=? ") << "the next sequence starts a second after the last query";
}

TEST_F(SequencerTest, TheWatchdogBlanksOnlyALinkThatStayedSilentForAWholePeriod)
{
    sequencer.replyDecoded(); // something was seen before Auto
    sequencer.toggleAuto();
    run(1000 + 5000);
    EXPECT_EQ(host.sent, "a=? ");
    EXPECT_EQ(host.events, "start end ") << "the first watchdog finds the earlier reply";
    run(1000 + 5000);
    EXPECT_EQ(host.sent, "a=? a=? ");
    EXPECT_EQ(host.events, "start end start end silent ");
}

TEST_F(SequencerTest, StepOneSendsTheSimulatedAltitudeInPlaceOfTheQuery)
{
    host.altitude = "1025";
    sequencer.toggleAuto();
    run(1060);
    EXPECT_EQ(host.sent, "a=1025 ");
}

TEST_F(SequencerTest, AnIntervalThatIsNotANumberStopsTheLastStepBeforeItsQuery)
{
    sequencer.toggleAuto();
    run(1000);
    for (int i = 0; i < 13; ++i) {
        run(60);
        answer();
    }
    host.seconds.clear();
    host.sent.clear();
    clock.advance(60);
    EXPECT_THROW(sequencer.sendDue(), fw::EConvertError);
    EXPECT_EQ(host.sent, "");
    EXPECT_FALSE(countdown.Enabled()) << "the countdown waits for the watchdog";
    EXPECT_EQ(host.events, "start end ");
}

TEST_F(SequencerTest, APingReplyGoesOutWithTheFirstQuerySentMoreThanHalfASecondLater)
{
    sequencer.toggleAuto();
    run(1000);
    sequencer.pingShown();
    for (int i = 0; i < 8; ++i) {
        run(60);
        answer();
    }
    EXPECT_EQ(host.events, "start ") << "480 ms: still shown";
    run(60);
    answer();
    EXPECT_EQ(host.events, "start ping-out ");
}

TEST_F(SequencerTest, StopLeavesNoTimerRunning)
{
    sequencer.toggleAuto();
    run(1000);
    sequencer.stop();
    EXPECT_FALSE(host.autoLamp);
    EXPECT_FALSE(countdown.Enabled());
    EXPECT_FALSE(spacing.Enabled());
    EXPECT_FALSE(watchdog.Enabled());
    run(20000);
    EXPECT_EQ(host.sent, "");
}

TEST_F(SequencerTest, ARestoredLineDropsTheSequenceTheLossCutShortAndStartsAFreshOneAtOnce)
{
    sequencer.toggleAuto();
    run(1000 + 60);
    ASSERT_EQ(host.sent, "a=? ");
    // The line went; nothing answers. Back 2 s later, before the watchdog.
    run(2000);
    sequencer.lineRestored();
    EXPECT_TRUE(sequencer.running());
    EXPECT_EQ(host.events, "start start ");
    run(50);
    EXPECT_EQ(host.sent, "a=? ") << "the first query keeps its 60 ms spacing";
    run(10);
    EXPECT_EQ(host.sent, "a=? a=? ");
    // The watchdog counts its 5 s from the fresh start: the first start's
    // would have fired by now.
    run(2900);
    EXPECT_EQ(host.events, "start start ");
    answer();

    // A running countdown carries on untouched: the next sequence starts one
    // second after the last query, not one second after the restore.
    for (int i = 0; i < 13; ++i) {
        run(60);
        answer();
    }
    run(60);
    ASSERT_FALSE(sequencer.running());
    run(500);
    sequencer.lineRestored();
    run(500);
    EXPECT_EQ(host.events, "start start end start ");
}
