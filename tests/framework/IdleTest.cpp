#include "framework/Application.h"
#include "framework/MessageBoxes.h"
#include "framework/QtMessageBoxes.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

#include <stdexcept>

using namespace fw;

namespace {

// Runs the window thread's event loop for `ms` milliseconds.
void runLoop(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

struct IdleFixture : ::testing::Test {
    ~IdleFixture() override
    {
        Application::instance().setSpinWhileNotDone(false);
        Application::instance().setOnIdle(nullptr, nullptr);
    }
};

using Idle = IdleFixture;

} // namespace

TEST_F(Idle, RunsWhenTheQueueDrainsButDoesNotSpin)
{
    int calls = 0;
    QObject sender;
    QObject* seen = nullptr;
    Application::instance().setOnIdle(&sender, [&](QObject* s, bool& done) {
        seen = s;
        ++calls;
        done = false; // "not finished" must still not make it spin
    });
    runLoop(200);
    EXPECT_GE(calls, 1);
    EXPECT_LT(calls, 20) << "the idle handler ran in a loop";
    EXPECT_EQ(seen, &sender);

    // Every event that arrives is followed by an idle call.
    const int before = calls;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [] {});
    ticker.start(10);
    runLoop(200);
    EXPECT_GE(calls - before, 10);
}

TEST_F(Idle, SpinSwitchCallsANotFinishedHandlerAgainAtOnce)
{
    int calls = 0;
    Application::instance().setOnIdle(nullptr, [&](QObject*, bool& done) {
        ++calls;
        done = false;
    });
    Application::instance().setSpinWhileNotDone(true);
    runLoop(100);
    EXPECT_GT(calls, 1000);
}

TEST_F(Idle, IsNotCalledWhileAModalBoxIsOpen)
{
    int calls = 0;
    Application::instance().setOnIdle(nullptr, [&](QObject*, bool& done) {
        ++calls;
        done = false;
    });
    runLoop(20);
    int callsWhileOpen = -1;
    QTimer::singleShot(0, [&] { calls = 0; });
    QTimer::singleShot(150, [&] {
        callsWhileOpen = calls;
        if (QWidget* box = QApplication::activeModalWidget()) box->close();
    });
    QtMessageBoxes real;
    real.show(QStringLiteral("modal"), QStringLiteral("test"), MsgButtons::Ok, MsgIcon::None);
    EXPECT_EQ(callsWhileOpen, 0);
    runLoop(20);
    EXPECT_GT(calls, 0) << "idle calls did not resume after the box closed";
}

TEST_F(Idle, AThrowingHandlerIsReportedAndKeepsBeingCalled)
{
    ScopedRecordingMessageBoxes boxes;
    int calls = 0;
    Application::instance().setOnIdle(nullptr, [&](QObject*, bool&) {
        ++calls;
        throw std::runtime_error("'x' is not a valid integer value");
    });
    runLoop(50);
    QTimer::singleShot(0, [] {});
    runLoop(50);
    EXPECT_GE(calls, 2);
    ASSERT_FALSE(boxes.shown.empty());
    EXPECT_EQ(boxes.shown[0].text, QStringLiteral("'x' is not a valid integer value"));
    EXPECT_EQ(boxes.shown[0].caption, QStringLiteral("uavControl"));
}
