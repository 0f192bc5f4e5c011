// The emergency-code alarm with the real window against the simulated
// transponder set to 7700: the section, its blinking and acknowledgement, the
// record, the monitor's mark and the desktop notification on a bus of the
// test's own, with a stand-in notification service on it.
#include "SimulatorFixture.h"

#include "app/AlarmControls.h"
#include "app/PanelApplication.h"
#include "app/PanelStatusBar.h"
#include "app/SessionControls.h"
#include "framework/Timer.h"
#include "session/TrafficModel.h"
#include "tests/testkit/ChildProcess.h"

#include <QAction>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace {

// Answers Notify as a desktop would, and keeps what it was told.
class FakeNotifications : public QDBusVirtualObject {
public:
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        if (message.member() != QStringLiteral("Notify")) return false;
        calls.push_back(message.arguments());
        connection.send(message.createReply(QVariant::fromValue(1u)));
        return true;
    }
    std::vector<QVariantList> calls;
};

} // namespace

TEST_F(PanelAgainstSimulator, AnEmergencyCodeBlinksUntilAcknowledgedAndReachesRecordMonitorAndDesktop)
{
    ChildProcess bus;
    ASSERT_TRUE(bus.start(QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")), {"--session", "--nofork", "--print-address"}));
    const QByteArray address = bus.readLine(5000).trimmed();
    ASSERT_FALSE(address.isEmpty()) << "no bus of our own";
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);
    FakeNotifications desktop;
    {
        QDBusConnection service = QDBusConnection::connectToBus(QString::fromLatin1(address), QStringLiteral("desktop"));
        ASSERT_TRUE(service.registerService(QStringLiteral("org.freedesktop.Notifications")));
        ASSERT_TRUE(service.registerVirtualObject(QStringLiteral("/org/freedesktop/Notifications"), &desktop));
    }

    // The program's look, as the picture below shows it: set before the window is made.
    setUpPanelApplication(*qApp);
    start();
    auto* bar = form->findChild<PanelStatusBar*>();
    QTemporaryDir folder;
    const QString record = folder.filePath(QStringLiteral("session.jsonl"));
    ASSERT_TRUE(form->Session().startRecording(record));
    click("btnConnect");
    // The guard is for the Assigned Code's Set alone: a manual command goes out as typed.
    form->Alarms().mnuConfirmEmergency->setChecked(true);
    find<QLineEdit>("CommStr")->setText(QStringLiteral("c=7700"));
    click("btnSend");
    ASSERT_TRUE(runUntil([&] { return bar->alarm().contains(QStringLiteral("7700")); }, 3000));
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(bar->alarm(), QStringLiteral("Emergency code 7700: general emergency"));
    ASSERT_TRUE(runUntil([&] { return !bar->alarmLit(); }, 2000)) << "blinks";
    ASSERT_TRUE(runUntil([&] { return bar->alarmLit(); }, 2000)) << "blinks";

    QTest::keyClick(form.get(), Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_FALSE(form->Alarms().blinkTimer->Enabled()) << "steady once acknowledged";
    runFor(700);
    EXPECT_TRUE(bar->alarmLit());
    EXPECT_EQ(bar->alarm(), QStringLiteral("Emergency code 7700: general emergency"));

    // A picture of the section under the panel's lowest row, for the README.
    const QString pictures = QCoreApplication::applicationDirPath() + QStringLiteral("/../../screenshots");
    QDir().mkpath(pictures);
    runFor(50);
    const QRect bottom(0, bar->y() - 70, form->width(), bar->height() + 70);
    EXPECT_TRUE(form->grab(bottom).save(pictures + QStringLiteral("/alarm-live.png")));

    ASSERT_TRUE(runUntil([&] { return !desktop.calls.empty(); }, 3000)) << "no notification";
    const QVariantList& notify = desktop.calls[0];
    ASSERT_EQ(notify.size(), 8);
    EXPECT_EQ(notify[3].toString(), QStringLiteral("Transponder squawks 7700"));
    EXPECT_EQ(notify[4].toString(), QStringLiteral("Emergency code 7700: general emergency"));
    const auto hints = qdbus_cast<QVariantMap>(notify[6].value<QDBusArgument>());
    EXPECT_EQ(hints.value(QStringLiteral("urgency")).toInt(), 2) << "critical";

    const session::TrafficModel& monitor = form->Session().traffic();
    ASSERT_TRUE(runUntil([&] { return monitor.rowCount() > 0; }, 1000));
    QStringList marked;
    for (int row = 0; row < monitor.rowCount(); ++row)
        if (monitor.rowText(row).contains(QStringLiteral("ALARM"))) marked << monitor.rowText(row);
    ASSERT_EQ(marked.size(), 1);
    EXPECT_TRUE(marked[0].contains(QStringLiteral("c=7700"))) << marked[0].toStdString();
    EXPECT_TRUE(marked[0].endsWith(QStringLiteral("\u00b7 ALARM: Emergency code 7700: general emergency")));

    form->Session().stopRecording();
    runFor(100);
    QFile file(record);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QStringList states;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        if (!o.contains(QStringLiteral("alarm"))) continue;
        EXPECT_EQ(o.keys(), (QStringList{"alarm", "state", "time", "value"}));
        states << o.value(QStringLiteral("alarm")).toString() + u' ' + o.value(QStringLiteral("value")).toString() +
                      u' ' + o.value(QStringLiteral("state")).toString();
    }
    EXPECT_EQ(states, (QStringList{"emergency-code 7700 active-unacknowledged",
                                   "emergency-code 7700 active-acknowledged"}));
}
