// The emergency-code alarm of the real window against the simulator set to
// 7700, with a stand-in notification service on a session bus of the test's own.
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

struct FakeNotifications : QDBusVirtualObject {
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        calls.push_back(message.arguments());
        return connection.send(message.createReply(QVariant::fromValue(1u)));
    }
    std::vector<QVariantList> calls;
};

TEST_F(PanelAgainstSimulator, AnEmergencyCodeBlinksUntilAcknowledgedAndReachesRecordMonitorAndDesktop)
{
    ChildProcess bus;
    ASSERT_TRUE(bus.start(QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")),
                          {"--session", "--nofork", "--print-address"}));
    const QByteArray address = bus.readLine(5000).trimmed();
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);
    FakeNotifications desktop;
    QDBusConnection service = QDBusConnection::connectToBus(QString::fromLatin1(address), QStringLiteral("desktop"));
    ASSERT_TRUE(service.registerService(QStringLiteral("org.freedesktop.Notifications")));
    ASSERT_TRUE(service.registerVirtualObject(QStringLiteral("/org/freedesktop/Notifications"), &desktop));

    setUpPanelApplication(*qApp); // the program's look, for the picture below
    start();
    auto* bar = form->findChild<PanelStatusBar*>();
    QTemporaryDir folder;
    ASSERT_TRUE(form->Session().startRecording(folder.filePath(QStringLiteral("session.jsonl"))));
    click("btnConnect");
    // The guard is for the Set button alone: a manual command goes out as typed.
    form->Alarms().mnuConfirmEmergency->setChecked(true);
    find<QLineEdit>("CommStr")->setText(QStringLiteral("c=7700"));
    click("btnSend");
    const QString alarm = QStringLiteral("Emergency code 7700: general emergency");
    ASSERT_TRUE(runUntil([&] { return bar->alarm() == alarm; }, 3000));
    EXPECT_TRUE(boxes.shown.empty());
    for (bool lit : {false, true}) ASSERT_TRUE(runUntil([&] { return bar->alarmLit() == lit; }, 2000)) << "blinks";
    QTest::keyClick(form.get(), Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
    runFor(700);
    EXPECT_TRUE(bar->alarmLit() && !form->Alarms().blinkTimer->Enabled()) << "steady once acknowledged";

    // A picture of the section under the panel's lowest row, for the README.
    const QString pictures = QCoreApplication::applicationDirPath() + QStringLiteral("/../../screenshots");
    QDir().mkpath(pictures);
    const QRect bottom(0, bar->y() - 70, form->width(), bar->height() + 70);
    EXPECT_TRUE(form->grab(bottom).save(pictures + QStringLiteral("/alarm-live.png")));

    ASSERT_TRUE(runUntil([&] { return !desktop.calls.empty(); }, 3000)) << "no notification";
    const QVariantList& notify = desktop.calls[0];
    EXPECT_EQ(notify.value(3).toString() + u'/' + notify.value(4).toString(), "COM1 squawks 7700/" + alarm);
    EXPECT_EQ(qdbus_cast<QVariantMap>(notify.value(6).value<QDBusArgument>()).value("urgency").toInt(), 2);

    const session::TrafficModel& monitor = form->Session().traffic();
    QStringList marked;
    for (int row = 0; row < monitor.rowCount(); ++row)
        if (monitor.rowText(row).contains(QStringLiteral("ALARM"))) marked << monitor.rowText(row);
    ASSERT_EQ(marked.size(), 1);
    EXPECT_TRUE(marked[0].contains(QStringLiteral("c=7700"))) << marked[0].toStdString();
    EXPECT_TRUE(marked[0].endsWith(QStringLiteral("\u00b7 ALARM: ") + alarm));

    form->Session().stopRecording();
    runFor(100);
    QFile file(folder.filePath(QStringLiteral("session.jsonl")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QStringList alarms;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        if (o.contains("alarm")) alarms << (o.keys() + QStringList{o["alarm"].toString(), o["value"].toString(), o["state"].toString()}).join(u' ');
    }
    EXPECT_EQ(alarms, (QStringList{"alarm chain state time value emergency-code 7700 active-unacknowledged",
                                   "alarm chain state time value emergency-code 7700 active-acknowledged"}));
}
