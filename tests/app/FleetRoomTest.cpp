// The fleet window in the operations room, against a real broker over TLS:
// its local row published, read back from the broker as a remote fleet's
// row, and both brought back from the settings by the next window.
#include "app/FleetWindow.h"
#include "app/PanelSettings.h"
#include "tests/testkit/CertificateKit.h"
#include "tests/testkit/EventLoopWait.h"
#include "tests/testkit/MosquittoProcess.h"
#include "tests/testkit/PacedTransponder.h"
#include "tests/testkit/PortDirectory.h"
#include "tests/testkit/PtyPair.h"

#include <QLabel>
#include <QTableView>
#include <gtest/gtest.h>

#include <memory>
#include <variant>

namespace {

using links::FleetModel;

constexpr int Port = 41;

mqtt::BrokerSettings broker(const MosquittoProcess& mosquitto, const CertificateKit& kit, const QString& user)
{
    auto read = mqtt::readBrokerSettings(mosquitto.url().toStdString(), {});
    auto settings = std::get<mqtt::BrokerSettings>(read);
    settings.caFile = kit.path(QStringLiteral("ca.pem")).toStdString();
    settings.user = user.toStdString();
    settings.passwordFile = mosquitto.passwordFile(user).toStdString();
    auto checked = mqtt::checkBrokerSettings(settings);
    EXPECT_TRUE(std::holds_alternative<mqtt::BrokerSettings>(checked));
    return std::get<mqtt::BrokerSettings>(checked);
}

TEST(FleetRoom, TheWindowsRowIsReadBackAsARemoteRowAndBothComeBackWithTheSettings)
{
    CertificateKit kit;
    ASSERT_TRUE(kit.failure().isEmpty()) << kit.failure().toStdString();
    MosquittoProcess mosquitto({kit.path(QStringLiteral("server.pem")), kit.path(QStringLiteral("server.key")),
                                {QStringLiteral("field-1")}, {QStringLiteral("supervisor")}});
    ASSERT_TRUE(mosquitto.start()) << mosquitto.output().toStdString();
    panelSettings().remove(QStringLiteral("fleet"));
    panelSettings().remove(QStringLiteral("room"));
    PortDirectory ports;
    PtyPair line;
    ports.map(Port, line.slavePath());
    PacedTransponder transponder(line.master(), {{'a', "a=1000"}, {'c', "c=7700"}, {'f', "f=1.2"}, {'i', "i=0"},
                                                 {'r', "r=Y"}, {'s', "s=t"}, {'v', "v=27.9"}, {'o', "o=1532"},
                                                 {'u', "u=0"}, {'n', "n=04172"}, {'l', "l=0"}, {'d', "d=g"},
                                                 {'z', "z=2.14"}, {'e', "e=0"}});
    const QString remotePort = QStringLiteral("COM%1 · remote · field-1").arg(Port);
    const auto remoteRowShown = [&](const FleetModel& model) {
        return model.rowCount() == 2 && model.text(1, FleetModel::Port) == remotePort &&
               model.text(1, FleetModel::Code) == "7700";
    };

    auto window = std::make_unique<FleetWindow>();
    int emergencies = 0;
    QObject::connect(&window->model(), &FleetModel::remoteEmergency,
                     [&](const QString& publisher, const QString&, const QString& code) {
                         emergencies += publisher == "field-1" && code == "7700";
                     });
    window->model().setInterval(300);
    ASSERT_TRUE(window->addPort(Port));
    window->room().publish(broker(mosquitto, kit, QStringLiteral("field-1")));
    window->room().addRemote(broker(mosquitto, kit, QStringLiteral("supervisor")));
    ASSERT_TRUE(runUntil([&] { return remoteRowShown(window->model()); }, 15000))
        << window->room().status().toStdString() << mosquitto.output().toStdString();
    EXPECT_EQ(window->model().text(1, FleetModel::Alarm), "Emergency code 7700");
    EXPECT_EQ(emergencies, 1);
    const QString status = window->findChild<QLabel*>(QStringLiteral("fleetRoomStatus"))->text();
    EXPECT_TRUE(status.contains(QStringLiteral("Publishing to %1/uavcontrol").arg(mosquitto.url()))) << status.toStdString();
    EXPECT_TRUE(status.contains(QStringLiteral("Watching %1/uavcontrol").arg(mosquitto.url()))) << status.toStdString();
    EXPECT_FALSE(status.contains(QStringLiteral("unencrypted")));
    // Read only: a double-click hands nothing to the panel.
    int handedOver = 0;
    QObject::connect(window.get(), &FleetWindow::connectPanel, [&] { ++handedOver; });
    emit window->table().doubleClicked(window->model().index(1, FleetModel::Code));
    EXPECT_EQ(handedOver, 0);
    EXPECT_FALSE(window->model().heldByPanel(1));

    // The next start: the same settings, nothing typed again.
    window.reset();
    window = std::make_unique<FleetWindow>();
    window->model().setInterval(300);
    EXPECT_TRUE(window->room().publishing());
    ASSERT_TRUE(runUntil([&] { return remoteRowShown(window->model()) && window->model().link(0).answering(); }, 15000))
        << window->room().status().toStdString();

    window->room().removeRemote(0);
    window->room().stopPublishing();
    EXPECT_EQ(window->model().rowCount(), 1);
    window.reset();
    panelSettings().remove(QStringLiteral("fleet"));
    window = std::make_unique<FleetWindow>();
    EXPECT_FALSE(window->room().publishing());
    EXPECT_EQ(window->model().rowCount(), 0);
}

} // namespace
