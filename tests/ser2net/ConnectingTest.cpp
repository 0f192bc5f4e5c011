#include "tests/testkit/LoopbackServer.h"
#include "framework/MessageBoxes.h"
#include "serial/LinkMonitor.h"
#include "serial/Serial2.h"
#include "tests/support/PanelControls.h"

#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <poll.h>

#include <unistd.h>

namespace {

// Counts the window's paint events while the test asks it to repaint every
// 50 ms, as anything on the screen would.
class PaintWatch : public QObject {
public:
    explicit PaintWatch(QWidget& window)
        : window_(window)
    {
        window.installEventFilter(this);
        QObject::connect(&timer_, &QTimer::timeout, &window, [&window] { window.update(); });
        timer_.start(50);
    }
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }

private:
    QWidget& window_;
    QTimer timer_;
};

} // namespace

class ConnectingToANetworkPort : public PanelControls {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(ports.isValid());
        qputenv("UAVCONTROL_PORTS", ports.path().toLocal8Bit());
        // One connection fills the listener's backlog of 0: the kernel drops
        // every further connect's first packet, as a host that is off would.
        filler = connectToLoopback(full.port());
        ASSERT_GE(filler, 0);
        pollfd connected {filler, POLLOUT, 0};
        ASSERT_EQ(::poll(&connected, 1, 2000), 1);
        QFile entry(ports.filePath(QStringLiteral("COM1")));
        ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
        entry.write(QStringLiteral("rfc2217://127.0.0.1:%1\n").arg(full.port()).toUtf8());
        entry.close();
        form = std::make_unique<TForm1>();
        form->show();
    }
    void TearDown() override
    {
        form.reset();
        ::close(filler);
        qunsetenv("UAVCONTROL_PORTS");
    }

    QTemporaryDir ports;
    LoopbackServer full{0};
    int filler = -1;
    fw::ScopedRecordingMessageBoxes boxes;
};

TEST_F(ConnectingToANetworkPort, TheBoxShowsCancelGivesUpAndTheTimeLimitEndsIt)
{
    PaintWatch watch(*form);
    QString shown;
    QTimer::singleShot(1000, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr) << "no Connecting box";
        shown = box->text();
        // A picture of the box over the window, to look at.
        const QString folder = QCoreApplication::applicationDirPath() + QStringLiteral("/../../screenshots");
        QDir().mkpath(folder);
        QPixmap picture = form->grab();
        QPainter(&picture).drawPixmap(box->geometry().topLeft() - form->geometry().topLeft(), box->grab());
        picture.save(folder + QStringLiteral("/connecting-box.png"));
        box->button(QMessageBox::Cancel)->click();
    });
    QElapsedTimer elapsed;
    elapsed.start();
    click("btnConnect");
    EXPECT_LT(elapsed.elapsed(), 2500);
    EXPECT_EQ(shown, QStringLiteral("Connecting to 127.0.0.1:%1\u2026").arg(full.port()));
    EXPECT_GE(watch.paints, 10) << "the window stopped painting";
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, QStringLiteral("Operation canceled"));
    EXPECT_FALSE(form->SerialComm->Active());
    ReconnectMachine& machine = form->findChild<LinkMonitor*>()->reconnector();
    EXPECT_EQ(machine.state(), ReconnectMachine::State::Stopped) << "Cancel stops the reconnecting too";

    // Left alone, the opening gives up after five seconds, painting all along.
    click("btnConnect"); // Disconnect: the panel counts as connected after a Connect
    watch.paints = 0;
    elapsed.restart();
    click("btnConnect");
    EXPECT_GE(elapsed.elapsed(), 4900);
    EXPECT_LT(elapsed.elapsed(), 7000);
    EXPECT_GE(watch.paints, 60) << "the window stopped painting";
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.shown[1].text, QStringLiteral("Connection timed out"));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    // A server that does not answer may answer later: it is tried again, with no box.
    EXPECT_EQ(machine.state(), ReconnectMachine::State::Waiting);
}
