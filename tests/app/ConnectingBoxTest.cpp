#include "tests/testkit/LoopbackServer.h"
#include "app/ConnectingBox.h"
#include "framework/Application.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <optional>
#include <poll.h>
#include <unistd.h>

using namespace std::chrono_literals;
using Clock = platform::ConnectionWait::Clock;

namespace {

// Counts the paint events a widget gets.
class PaintCounter : public QWidget {
public:
    int paints = 0;

protected:
    void paintEvent(QPaintEvent*) override { ++paints; }
};

// Connects to 127.0.0.1:port through the box, as opening a network port does;
// returns the error.
int connectThrough(ConnectingBox& box, std::uint16_t port, std::chrono::milliseconds limit)
{
    const int fd = connectToLoopback(port);
    box.begin("127.0.0.1:" + std::to_string(port));
    const int error = fd < 0 ? errno : box.wait(fd, POLLOUT, Clock::now() + limit);
    box.end();
    if (fd >= 0) ::close(fd);
    return error;
}

class ConnectingBoxTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        window.resize(200, 100);
        window.show();
        // One connection fills a backlog of 0: every further connect hangs.
        ASSERT_EQ(connectThrough(box, full.port(), 2s), 0);
    }

    PaintCounter window;
    ConnectingBox box{&window};
    LoopbackServer full{0};
};

} // namespace

// A connect that hangs shows the box once it has hung for ShowAfterMs, and
// only when the operator asked for it: an unattended opening (a retry of a lost
// link) never shows one. Either way the time limit ends it.
TEST_F(ConnectingBoxTest, TheBoxShowsOnlyWhenTheOperatorsConnectHangsAndTheTimeLimitEndsIt)
{
    const struct {
        const char* what;
        std::chrono::milliseconds limit;
        bool unattended;
        bool boxShown;
    } cases[] = {
        {"ends before the box is due", std::chrono::milliseconds(ConnectingBox::ShowAfterMs - 100), false, false},
        {"hangs past the box's time", 800ms, false, true},
        {"an unattended opening hangs", 800ms, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::optional<platform::UnattendedOpening> unattended;
        if (c.unattended) unattended.emplace();
        QTimer watch;
        bool shown = false;
        QObject::connect(&watch, &QTimer::timeout, [&] { shown = shown || (box.box() && box.box()->isVisible()); });
        watch.start(1);
        const auto started = Clock::now();
        EXPECT_EQ(connectThrough(box, full.port(), c.limit), ETIMEDOUT);
        EXPECT_GE(Clock::now() - started, c.limit);
        EXPECT_EQ(shown, c.boxShown);
        EXPECT_EQ(box.box(), nullptr);
    }
}

// The operator sees the box, the window goes on painting, no idle call runs,
// and Cancel gives the opening up at once.
TEST_F(ConnectingBoxTest, TheBoxShowsWhileTheConnectHangsAndCancelEndsIt)
{
    int idleCalls = 0;
    fw::Application::instance().setOnIdle(&window, [&](QObject*, bool& done) {
        ++idleCalls;
        done = true;
    });
    QString text;
    QString title;
    bool modal = false;
    int paintsBeforeCancel = 0;
    QTimer repaint;
    QObject::connect(&repaint, &QTimer::timeout, &window, [&] { window.update(); });
    repaint.start(20);
    QTimer::singleShot(600, [&] {
        ASSERT_NE(box.box(), nullptr);
        text = box.box()->text();
        title = box.box()->windowTitle();
        modal = box.box()->isVisible() && box.box()->windowModality() == Qt::ApplicationModal;
        paintsBeforeCancel = window.paints;
        box.box()->button(QMessageBox::Cancel)->click();
    });
    idleCalls = 0;
    window.paints = 0;
    const auto started = Clock::now();
    EXPECT_EQ(connectThrough(box, full.port(), 5s), ECANCELED);
    EXPECT_LT(Clock::now() - started, 2s);
    EXPECT_EQ(text, QStringLiteral("Connecting to 127.0.0.1:%1\u2026").arg(full.port()));
    EXPECT_EQ(title, fw::Application::instance().title());
    EXPECT_TRUE(modal);
    EXPECT_GE(paintsBeforeCancel, 10) << "the window stopped painting while it waited";
    EXPECT_EQ(idleCalls, 0);
    EXPECT_EQ(box.box(), nullptr);
    fw::Application::instance().setOnIdle(nullptr, nullptr);
}
