#include "framework/Application.h"
#include "framework/HandOff.h"
#include "framework/MessageBoxes.h"
#include "framework/QtMessageBoxes.h"
#include "framework/Thread.h"
#include "tests/testkit/EventLoopWait.h"
#include "tests/testkit/WaitWithoutEvents.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QWidget>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

using namespace fw;

namespace {

// Runs `body` in its own thread, spinning the window thread's event loop until it ends.
template <class F>
void runWorker(F body)
{
    std::atomic<bool> done{false};
    std::thread worker([&] {
        body();
        done = true;
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return done.load(); }, 5000)) << "the worker did not end";
    worker.join();
}

} // namespace

TEST(HandOff, RunsTheCallOnTheWindowThreadAndBlocksUntilItHasRun)
{
    HandOffChannel channel;
    const std::thread::id windowThread = std::this_thread::get_id();
    std::thread::id ranOn;
    int value = 0;
    bool sawResult = false;
    runWorker([&] {
        const bool ran = channel.call([&] {
            ranOn = std::this_thread::get_id();
            value = 42;
        });
        sawResult = ran && value == 42;
    });
    EXPECT_EQ(ranOn, windowThread);
    EXPECT_TRUE(sawResult);
}

TEST(HandOff, AnExceptionIsShownOnTheWindowThreadAndNeverReachesTheCaller)
{
    ScopedRecordingMessageBoxes boxes;
    HandOffChannel channel;
    bool returned = false;
    bool callerCaught = false;
    runWorker([&] {
        try {
            returned = channel.call([] { throw std::runtime_error("boom"); });
        } catch (...) {
            callerCaught = true;
        }
    });
    EXPECT_TRUE(returned);
    EXPECT_FALSE(callerCaught);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, QStringLiteral("boom"));
    EXPECT_EQ(boxes.shown[0].icon, MsgIcon::Error);
}

TEST(HandOff, IsServedWhileAModalBoxIsOpen)
{
    HandOffChannel channel;
    bool ranWhileModal = false;
    std::thread worker;
    // Once the box is up, a worker hands over a call that notes the open box and closes it.
    QTimer::singleShot(0, [&] {
        worker = std::thread([&] {
            channel.call([&] {
                QWidget* box = QApplication::activeModalWidget();
                ranWhileModal = box != nullptr && Application::instance().modalOpen();
                if (box) box->close();
            });
        });
    });
    QtMessageBoxes real;
    real.show(QStringLiteral("waiting"), QStringLiteral("test"), MsgButtons::Ok, MsgIcon::None);
    worker.join();
    EXPECT_TRUE(ranWhileModal);
}

TEST(HandOff, WithdrawnCallsReturnAtOnceAndNeverRun)
{
    HandOffChannel channel;
    std::atomic<int> result{-1};
    bool ran = false;
    std::thread worker([&] { result = channel.call([&] { ran = true; }) ? 1 : 0; });
    // The window thread serves no events here, so the call stays queued.
    EXPECT_TRUE(waitWithoutEvents([&] { return channel.pendingCalls() == 1; })) << "the call was never queued";
    channel.withdrawPending();
    worker.join(); // would hang if the withdrawal did not release it
    ASSERT_TRUE(serveWhatIsQueued());
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(ran);
}

TEST(HandOff, AfterShutdownEveryCallIsRefused)
{
    HandOffChannel channel;
    channel.shutdown();
    bool ran = false;
    bool returned = true;
    std::thread worker([&] { returned = channel.call([&] { ran = true; }); });
    worker.join();
    ASSERT_TRUE(serveWhatIsQueued());
    EXPECT_FALSE(returned);
    EXPECT_FALSE(ran);
}

namespace {

class CountingThread : public TThread {
public:
    ~CountingThread() override { Stop(); }
    std::atomic<int> passes{0};
    std::atomic<int> handedOff{0};

protected:
    void Execute() override
    {
        while (Sleep(5)) {
            ++passes;
            if (Synchronize([this] { ++handedOff; })) continue;
        }
    }
};

} // namespace

TEST(TThread, CreatedSuspendedRunsOnlyAfterResume)
{
    CountingThread thread, witness;
    // A thread resumed beside it shows that it had time for several passes.
    witness.Resume();
    ASSERT_TRUE(QTest::qWaitFor([&] { return witness.handedOff >= 3; }, 2000));
    EXPECT_TRUE(thread.Suspended());
    EXPECT_EQ(thread.passes, 0);
    thread.Resume();
    EXPECT_TRUE(QTest::qWaitFor([&] { return thread.handedOff >= 3; }, 2000));
}

TEST(TThread, StopReleasesAThreadBlockedInAHandOffWithoutServingIt)
{
    auto thread = std::make_unique<CountingThread>();
    thread->Resume();
    // The window thread does not serve events here, so the worker is soon blocked
    // in a hand-off. Stop() must not wait for it forever.
    ASSERT_TRUE(waitWithoutEvents([&] { return thread->PendingHandOffs() == 1; }));
    QElapsedTimer elapsed;
    elapsed.start();
    thread->Stop();
    EXPECT_LT(elapsed.elapsed(), 100);
    EXPECT_TRUE(thread->Finished());
    const int served = thread->handedOff;
    ASSERT_TRUE(serveWhatIsQueued());
    EXPECT_EQ(thread->handedOff, served) << "a withdrawn call ran later";
}

TEST(TThread, SuspendPausesAtTheNextSleep)
{
    CountingThread thread, witness;
    thread.Resume();
    ASSERT_TRUE(QTest::qWaitFor([&] { return thread.passes > 0; }, 2000));
    thread.Suspend();
    // One pass may be under way; a thread resumed beside it shows that it had time for several more.
    const int paused = thread.passes;
    witness.Resume();
    ASSERT_TRUE(QTest::qWaitFor([&] { return witness.passes >= 5; }, 2000));
    EXPECT_LE(thread.passes - paused, 1);
    thread.Resume();
    // Running again is waited for, not timed: a loaded machine may take a while
    // to schedule the thread.
    EXPECT_TRUE(QTest::qWaitFor([&] { return thread.passes > paused + 1; }, 2000));
}
