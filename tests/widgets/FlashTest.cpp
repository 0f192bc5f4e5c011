#include "LampTestSupport.h"
#include "framework/MessageBoxes.h"
#include "framework/VirtualClock.h"
#include "tests/testkit/EventLoopWait.h"
#include "tests/testkit/WaitWithoutEvents.h"
#include "widgets/AbFlashT.h"
#include "widgets/AbLED.h"

#include <QElapsedTimer>
#include <QScreen>
#include <QThread>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <vector>

using namespace AbFlashT;
using namespace AbProc;
using namespace GClass;

namespace {

// A lamp that notes every phase it is given: the counter at that moment and the
// state. It can be made to fail instead of drawing.
class PhaseLamp : public TAbLED {
public:
    using TAbLED::TAbLED;

    struct Phase {
        std::uint32_t counter;
        bool state;
    };
    std::vector<Phase> phases;
    bool fails = false;

    void DrawLEDPhase(bool state) override
    {
        phases.push_back({FlashCounter(), state});
        if (fails) throw std::runtime_error("cannot draw");
        TAbLED::DrawLEDPhase(state);
    }

    std::vector<std::uint32_t> changes() const
    {
        std::vector<std::uint32_t> counters;
        for (const Phase& p : phases) counters.push_back(p.counter);
        return counters;
    }

    void flash(TFlashFreq frequency)
    {
        setFrequency(frequency);
        setFlashing(true);
        setChecked(true);
    }
};

// The flash clock driven by a virtual clock, from a counter of 0.
class FlashClock : public ::testing::Test {
protected:
    void SetUp() override
    {
        FreeFlashTimer();
        setFlashTickScheduler(&clock);
        SetFlashCounter(0);
    }
    void TearDown() override
    {
        FreeFlashTimer();
        setFlashTickScheduler(nullptr);
    }
    void ticks(int n) { clock.advance(16u * static_cast<unsigned>(n)); }

    fw::VirtualClock clock;
};

bool registered(const TAbBinGControl* control)
{
    return std::any_of(FlashList().begin(), FlashList().end(), [&](const TFlashRegistration& r) { return r.Control == control; });
}

} // namespace

TEST_F(FlashClock, FirstFlashingLampStartsTheClockSilentlyAndTheClockOutlivesIt)
{
    fw::ScopedRecordingMessageBoxes boxes;
    EXPECT_EQ(FlashTimer(), nullptr);
    auto first = std::make_unique<PhaseLamp>();
    first->flash(ff1Hz);
    TAbFlashTimer* timer = FlashTimer();
    ASSERT_NE(timer, nullptr);
    EXPECT_EQ(TAbFlashTimer::InstanceCount(), 1u);

    PhaseLamp second;
    second.flash(ff2Hz);
    EXPECT_EQ(FlashTimer(), timer);
    EXPECT_EQ(FlashList().size(), 2u);

    first.reset();
    second.setFlashing(false);
    EXPECT_TRUE(FlashList().empty());
    ticks(10);
    EXPECT_EQ(FlashCounter(), 10u);

    PhaseLamp third;
    third.flash(ff8Hz);
    EXPECT_EQ(FlashTimer(), timer);
    ticks(2);
    EXPECT_EQ(FlashCounter(), 12u);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(FlashClock, EachFrequencyFollowsItsBitOfTheCounter)
{
    const TFlashFreq frequencies[] = {ff8Hz, ff4Hz, ff2Hz, ff1Hz, ff05Hz};
    std::vector<std::unique_ptr<PhaseLamp>> lamps;
    for (TFlashFreq f : frequencies) {
        lamps.push_back(std::make_unique<PhaseLamp>());
        lamps.back()->flash(f);
    }
    ticks(256);
    for (std::size_t i = 0; i < lamps.size(); ++i) {
        const int bit = FlashBit(frequencies[i]);
        const std::uint32_t period = 1u << bit;
        const auto& phases = lamps[i]->phases;
        // The first tick shows the current phase at once; then one change every 2^bit ticks.
        ASSERT_EQ(phases.size(), 1 + 256 / period) << "bit " << bit;
        EXPECT_EQ(phases[0].counter, 1u);
        for (std::size_t k = 1; k < phases.size(); ++k) {
            EXPECT_EQ(phases[k].counter, k * period) << "bit " << bit;
            EXPECT_EQ(phases[k].state, ((phases[k].counter >> bit) & 1u) != 0);
            EXPECT_NE(phases[k].state, phases[k - 1].state);
        }
    }
}

TEST_F(FlashClock, LampsOfOneFrequencyStartedApartChangeAtTheSameTicks)
{
    PhaseLamp early;
    early.flash(ff1Hz);
    ticks(45);
    PhaseLamp late;
    late.flash(ff1Hz);
    ticks(200);
    ASSERT_GE(late.phases.size(), 2u);
    // After the late lamp's first phase, both change together.
    std::vector<std::uint32_t> earlyAfter;
    for (std::uint32_t c : early.changes()) {
        if (c > late.phases[0].counter) earlyAfter.push_back(c);
    }
    std::vector<std::uint32_t> lateChanges = late.changes();
    lateChanges.erase(lateChanges.begin());
    EXPECT_EQ(lateChanges, earlyAfter);
    EXPECT_EQ(late.phases.back().state, early.phases.back().state);
}

TEST_F(FlashClock, FasterLampChangesAtEveryChangeOfASlowerOne)
{
    PhaseLamp fast;
    PhaseLamp slow;
    fast.flash(ff2Hz);
    slow.flash(ff1Hz);
    ticks(300);
    const auto fastChanges = fast.changes();
    for (std::uint32_t c : slow.changes())
        EXPECT_NE(std::find(fastChanges.begin(), fastChanges.end(), c), fastChanges.end()) << c;
    EXPECT_GT(fastChanges.size(), slow.changes().size());
}

TEST_F(FlashClock, FrequencyChangeMovesTheRegistrationToTheFasterBit)
{
    PhaseLamp lamp;
    lamp.flash(ff1Hz);
    ticks(1);
    lamp.setFrequency(ff8Hz);
    ASSERT_EQ(FlashList().size(), 1u);
    EXPECT_EQ(FlashList()[0].Bit, 2);
    lamp.phases.clear();
    ticks(16);
    EXPECT_EQ(lamp.changes(), (std::vector<std::uint32_t>{4, 8, 12, 16}));
}

TEST_F(FlashClock, CounterWrapsToZeroWithEveryFlashBitClear)
{
    std::vector<std::unique_ptr<PhaseLamp>> lamps;
    for (TFlashFreq f : {ff8Hz, ff4Hz, ff2Hz, ff1Hz, ff05Hz}) {
        lamps.push_back(std::make_unique<PhaseLamp>());
        lamps.back()->flash(f);
    }
    SetFlashCounter(0xFFFFFFFEu);
    ticks(1);
    EXPECT_EQ(FlashCounter(), 0xFFFFFFFFu);
    ticks(1);
    EXPECT_EQ(FlashCounter(), 0u);
    for (const auto& lamp : lamps) {
        ASSERT_EQ(lamp->phases.size(), 2u);
        EXPECT_TRUE(lamp->phases[0].state);
        EXPECT_FALSE(lamp->phases[1].state);
    }
}

TEST_F(FlashClock, AFailingLampDoesNotStopTheOthers)
{
    PhaseLamp failing;
    failing.fails = true;
    PhaseLamp fine;
    failing.flash(ff8Hz);
    fine.flash(ff8Hz);
    ticks(40);
    EXPECT_EQ(FlashCounter(), 40u);
    EXPECT_EQ(fine.phases.size(), 11u);
    EXPECT_EQ(failing.phases.size(), 11u);
}

TEST_F(FlashClock, DisabledClockDeliversNothingAndResumesFromItsCounter)
{
    PhaseLamp lamp;
    lamp.flash(ff8Hz);
    ticks(5);
    FlashTimer()->setEnabled(false);
    lamp.phases.clear();
    ticks(100);
    EXPECT_TRUE(lamp.phases.empty());
    EXPECT_EQ(FlashCounter(), 5u);
    FlashTimer()->DoTick();
    EXPECT_TRUE(lamp.phases.empty());

    FlashTimer()->setEnabled(true);
    ticks(3);
    EXPECT_EQ(FlashCounter(), 8u);
    EXPECT_EQ(lamp.changes(), (std::vector<std::uint32_t>{8}));
}

TEST_F(FlashClock, OnlyACheckedFlashingLampIsRegistered)
{
    PhaseLamp lamp;
    lamp.setFrequency(ff4Hz);
    lamp.setFlashing(true);
    EXPECT_FALSE(registered(&lamp));
    lamp.setChecked(true);
    EXPECT_TRUE(registered(&lamp));
    lamp.setChecked(false);
    EXPECT_FALSE(registered(&lamp));
    lamp.setChecked(true);
    ASSERT_TRUE(registered(&lamp));
    EXPECT_EQ(FlashList()[0].Bit, 3);
    lamp.setFlashing(false);
    EXPECT_FALSE(registered(&lamp));

    UnregisterFlash(&lamp);
    EXPECT_TRUE(FlashList().empty());
    auto gone = std::make_unique<PhaseLamp>();
    gone->flash(ff8Hz);
    gone.reset();
    EXPECT_TRUE(FlashList().empty());
    ticks(8);
}

TEST_F(FlashClock, ASecondFlashTimerSaysSoAndStaysInert)
{
    EnsureFlashTimer();
    PhaseLamp lamp;
    lamp.flash(ff8Hz);
    fw::ScopedRecordingMessageBoxes boxes;
    auto second = std::make_unique<TAbFlashTimer>();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "Only one TAbFlashTimer per Application!\rRemove it...");
    EXPECT_EQ(boxes.shown[0].caption, "Error Message");
    EXPECT_EQ(boxes.shown[0].buttons, fw::MsgButtons::Ok);
    EXPECT_EQ(TAbFlashTimer::InstanceCount(), 2u);
    EXPECT_FALSE(second->OnTick());

    ticks(8);
    EXPECT_EQ(FlashCounter(), 8u);
    second.reset();
    EXPECT_EQ(TAbFlashTimer::InstanceCount(), 1u);
}

// The rest run the clock's real worker thread.

TEST(FlashWorker, TicksOnTheWindowThreadOnlyWhileEnabled)
{
    TAbFlash clock;
    int ticks = 0;
    bool elsewhere = false;
    clock.setOnTick([&](QObject* sender) {
        ++ticks;
        elsewhere |= QThread::currentThread() != qApp->thread() || sender != &clock;
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return ticks >= 3; }, 2000));
    EXPECT_FALSE(elsewhere);

    clock.setEnabled(false);
    const int stopped = ticks;
    // A clock running beside it shows that it would have ticked by now.
    TAbFlash witness;
    int witnessed = 0;
    witness.setOnTick([&](QObject*) { ++witnessed; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return witnessed >= 3; }, 2000));
    EXPECT_EQ(ticks, stopped);
    clock.setEnabled(true);
    EXPECT_TRUE(QTest::qWaitFor([&] { return ticks > stopped; }, 2000));
}

TEST(FlashWorker, DestroyingTheClockWithdrawsTheTickItsWorkerWaitsToHandOver)
{
    int ticks = 0;
    auto clock = std::make_unique<TAbFlash>();
    clock->setOnTick([&](QObject*) { ++ticks; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return ticks >= 1; }, 2000));
    // Keep the window thread away from its loop: the worker leaves the tick it
    // handed over, sleeps, and then waits without a time-out to hand over the next.
    ASSERT_TRUE(waitWithoutEvents([] { return !otherThreadsWaitWithoutTimeOut(); }));
    ASSERT_TRUE(waitWithoutEvents([] { return otherThreadsWaitWithoutTimeOut(); }));
    const int before = ticks;
    QElapsedTimer elapsed;
    elapsed.start();
    clock.reset();
    EXPECT_LT(elapsed.elapsed(), 1000);
    ASSERT_TRUE(serveWhatIsQueued());
    EXPECT_EQ(ticks, before);
}

TEST(FlashWorker, ATickHandlerMayDestroyItsOwnClock)
{
    auto* clock = new TAbFlash;
    bool destroyed = false;
    clock->setOnTick([&](QObject*) {
        delete clock;
        destroyed = true;
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return destroyed; }, 2000));
    EXPECT_TRUE(serveWhatIsQueued());
}

TEST(FlashWorker, AFlashingLampBlinksOnScreen)
{
    FreeFlashTimer();
    QWidget window;
    window.resize(100, 40);
    PhaseLamp lamp(&window);
    lamp.setCaption("Ident");
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    std::vector<QRgb> seen;
    lamp.flash(ff8Hz);
    std::size_t sampled = 0;
    // Each phase is grabbed from the screen as it comes, until six have been.
    const bool sixPhases = QTest::qWaitFor([&] {
        for (; sampled < lamp.phases.size(); ++sampled)
            seen.push_back(window.screen()->grabWindow(window.winId()).toImage().pixel(6, 16));
        return seen.size() >= 6;
    }, 2000);
    lamp.setChecked(false);
    FreeFlashTimer();

    ASSERT_TRUE(sixPhases);
    const int on = static_cast<int>(std::count(seen.begin(), seen.end(), lamptest::rgb(clLime)));
    const int off = static_cast<int>(std::count(seen.begin(), seen.end(), lamptest::face()));
    EXPECT_GE(on, 2);
    EXPECT_GE(off, 2);
    EXPECT_EQ(on + off, static_cast<int>(seen.size()));
}
