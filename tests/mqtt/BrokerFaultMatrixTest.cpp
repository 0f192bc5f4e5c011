// The operations room's faults as a broker and its users make them, played
// against a real Mosquitto of the test's own (TLS, passwords, an access list
// where each publisher writes only under its own name): one row a fault, each
// checked for what the viewers see and what the publisher tells, and that the
// link's polling never waited for the broker.
#include "links/PolledLink.h"
#include "mqtt/FleetPublisher.h"
#include "mqtt/FleetSubscriber.h"
#include "mqtt/MosquittoClient.h"
#include "mqtt/Topics.h"
#include "tests/testkit/CertificateKit.h"
#include "tests/testkit/ChildProcess.h"
#include "tests/testkit/EventLoopWait.h"
#include "tests/testkit/MosquittoProcess.h"
#include "tests/testkit/PortDirectory.h"
#include "tests/testkit/SimulatorProcess.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <functional>
#include <map>
#include <memory>

using links::PolledLink;
using links::RemoteRow;

namespace {

constexpr int Port = 44;
constexpr int OtherPort = 45;
const QString Com44 = QStringLiteral("COM44");
const QString Com45 = QStringLiteral("COM45");
const QString Alice = QStringLiteral("alice");
// A reconnection waits at most the client's longest back-off, and a little.
constexpr int ReconnectMs = 20000;

QString code(const RemoteRow& row)
{
    return row.record ? QString::fromStdString(row.record->status.text(transponder::Item::Code)) : QString();
}

// A viewer and everything it was shown.
struct Viewer {
    mqtt::FleetSubscriber subscriber;
    std::map<std::pair<QString, QString>, RemoteRow> rows;
    std::map<QString, bool> online;
    QStringList removed;
    QStringList codes; // every code any row of alice showed

    explicit Viewer(const mqtt::BrokerSettings& settings)
        : subscriber(settings)
    {
        QObject::connect(&subscriber, &mqtt::FleetSubscriber::rowChanged, [this](const RemoteRow& row) {
            rows[{row.publisher, row.port}] = row;
            if (row.publisher == Alice) codes << code(row);
        });
        QObject::connect(&subscriber, &mqtt::FleetSubscriber::rowRemoved, [this](const QString& publisher, const QString& port) {
            rows.erase({publisher, port});
            removed << publisher + QLatin1Char('/') + port;
        });
        QObject::connect(&subscriber, &mqtt::FleetSubscriber::publisherOnline,
                         [this](const QString& publisher, bool on) { online[publisher] = on; });
        subscriber.start();
    }
    const RemoteRow* row(const QString& publisher, const QString& port) const
    {
        const auto found = rows.find({publisher, port});
        return found == rows.end() ? nullptr : &found->second;
    }
    // The row is there, answering, sent after `since`.
    bool showsAfter(const QString& publisher, const QString& port, const std::chrono::system_clock::time_point& since) const
    {
        const RemoteRow* shown = row(publisher, port);
        return shown && shown->answering && shown->published >= since;
    }
};

struct Publisher {
    std::unique_ptr<mqtt::FleetPublisher> fleet;
    QStringList told;
    bool toldAny(std::initializer_list<const char*> words) const
    {
        for (const QString& line : told) {
            bool all = true;
            for (const char* word : words) all = all && line.contains(QLatin1String(word));
            if (all) return true;
        }
        return false;
    }
};

// The broker, two simulated transponders linked as COM44 and COM45, and
// their polled links.
struct Room {
    CertificateKit kit;
    MosquittoProcess broker;
    PortDirectory ports;
    SimulatorProcess first{Port, {QStringLiteral("--rate"), QStringLiteral("0")}};
    SimulatorProcess second{OtherPort, {QStringLiteral("--rate"), QStringLiteral("0")}};
    PolledLink link{Port};
    PolledLink otherLink{OtherPort};
    int rounds = 0;
    qint64 longestTurnMs = 0; // the longest the thread was kept in one turn of its loop
    QTemporaryDir folder;

    explicit Room(bool persistent)
        : broker({kit.path(QStringLiteral("server.pem")), kit.path(QStringLiteral("server.key")),
                  {Alice, QStringLiteral("carol"), QStringLiteral("mallory")}, {QStringLiteral("viewer")}, persistent, true})
    {
        for (PolledLink* polled : {&link, &otherLink}) {
            polled->setInterval(200);
            polled->start();
        }
        QObject::connect(&link, &PolledLink::roundFinished, [this] { ++rounds; });
    }

    mqtt::BrokerSettings settings(const QString& user) const
    {
        mqtt::BrokerSettings settings;
        settings.host = "127.0.0.1";
        settings.port = broker.port();
        settings.tls = true;
        settings.caFile = kit.path(QStringLiteral("ca.pem")).toStdString();
        settings.user = user.toStdString();
        settings.passwordFile = broker.passwordFile(user).toStdString();
        return settings;
    }

    std::unique_ptr<Publisher> publish(const mqtt::BrokerSettings& settings)
    {
        auto publisher = std::make_unique<Publisher>();
        publisher->fleet = std::make_unique<mqtt::FleetPublisher>(settings);
        QObject::connect(publisher->fleet.get(), &mqtt::FleetPublisher::told,
                         [told = &publisher->told](const QString& line) { told->append(line); });
        publisher->fleet->addLink(link, Com44);
        publisher->fleet->addLink(otherLink, Com45);
        publisher->fleet->start();
        return publisher;
    }

    // Runs the loop until `done`, timing each turn of it.
    bool until(const std::function<bool()>& done, int limitMs = 15000)
    {
        QElapsedTimer turn;
        turn.start();
        return runUntil([&] {
            longestTurnMs = std::max(longestTurnMs, turn.restart());
            return done();
        }, limitMs);
    }

    // xpdrctl's watch as a program of its own, with its --mqtt-config file.
    std::unique_ptr<ChildProcess> xpdrctl(const QString& user, const QStringList& arguments)
    {
        const QString config = folder.filePath(user + QStringLiteral(".broker"));
        QFile file(config);
        if (!file.open(QIODevice::WriteOnly)) return nullptr;
        file.write(QStringLiteral("ca=%1\nuser=%2\npassword-file=%3\n")
                       .arg(kit.path(QStringLiteral("ca.pem")), user, broker.passwordFile(user))
                       .toUtf8());
        file.close();
        auto process = std::make_unique<ChildProcess>();
        if (!process->start(QStringLiteral(XPDRCTL_PROGRAM), arguments + QStringList{QStringLiteral("--mqtt-config"), config}))
            return nullptr;
        return process;
    }
};

// A viewer that subscribes to every fleet and never reads again, over plain
// TCP with a receive buffer as small as the kernel allows, so that its way
// fills at once: MQTT 3.1.1's CONNECT and SUBSCRIBE written by hand. Its
// socket, or -1.
int stalledViewer(quint16 port, const QString& user)
{
    const auto text = [](const QByteArray& bytes) { return QByteArray(1, char(bytes.size() >> 8)) + char(bytes.size() & 0xff) + bytes; };
    const auto packet = [](char type, const QByteArray& body) { return QByteArray(1, type) + char(body.size()) + body; };
    const QByteArray connect = packet('\x10', text("MQTT") + '\x04' + '\xc2' + QByteArray(2, '\0') + text("stalled-viewer")
                                                 + text(user.toUtf8()) + text(MosquittoProcess::password(user).toUtf8()));
    const QByteArray subscribe = packet('\x82', QByteArray("\0\1", 2) + text("uavcontrol/#") + '\0');
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int smallest = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &smallest, sizeof smallest);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const QByteArray both = connect + subscribe;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::write(fd, both.constData(), both.size()) != both.size()) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// The most bytes the broker has sent on one connection that its client has
// not taken, as the kernel's table shows them.
qint64 unsentByBroker(quint16 port)
{
    QFile table(QStringLiteral("/proc/net/tcp"));
    if (!table.open(QIODevice::ReadOnly)) return 0;
    const QByteArray local = QStringLiteral("0100007F:%1").arg(port, 4, 16, QLatin1Char('0')).toUpper().toLatin1();
    qint64 most = 0;
    for (const QByteArray& line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 4 && fields[1] == local && fields[3] == "01")
            most = std::max(most, fields[4].split(':').front().toLongLong(nullptr, 16));
    }
    return most;
}

struct Fault {
    const char* name;
    bool persistent;
    bool brokerAtStart;
    std::function<void(Room&)> play;
};

const Fault Faults[] = {
    {"a publisher writing under another's name is refused by the access list", false, true,
     [](Room& room) {
         auto alice = room.publish(room.settings(Alice));
         Viewer viewer(room.settings(QStringLiteral("viewer")));
         ASSERT_TRUE(room.until([&] { return viewer.showsAfter(Alice, Com44, {}); }));
         mqtt::MosquittoClient forger(room.settings(QStringLiteral("mallory")), "mallory-forger");
         int answer = -1;
         QObject::connect(&forger, &mqtt::MosquittoClient::publishAnswered, [&](int, int reason) { answer = reason; });
         QString problem;
         ASSERT_TRUE(forger.start({}, {}, problem)) << problem.toStdString();
         ASSERT_TRUE(room.until([&] { return forger.isConnected(); }));
         const auto forgedAt = std::chrono::system_clock::now();
         const QJsonObject forged{{QStringLiteral("port"), Com44}, {QStringLiteral("link"), QStringLiteral("polling")},
                                  {QStringLiteral("answering"), true}, {QStringLiteral("code"), QStringLiteral("7700")},
                                  {QStringLiteral("time"), QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs)},
                                  {QStringLiteral("published"), QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs)}};
         forger.publish(mqtt::stateTopic(MosquittoProcess::Prefix, "alice", Com44),
                        QJsonDocument(forged).toJson(QJsonDocument::Compact), 1, true);
         ASSERT_TRUE(room.until([&] { return answer >= 0; }));
         EXPECT_GE(answer, 128) << "the broker took the forgery";
         // Alice's next state reaches the viewer, and one that comes late finds what is retained.
         ASSERT_TRUE(room.until([&] { return viewer.showsAfter(Alice, Com44, forgedAt); }));
         Viewer late(room.settings(QStringLiteral("viewer")));
         ASSERT_TRUE(room.until([&] { return late.showsAfter(Alice, Com44, {}); }));
         EXPECT_FALSE(viewer.codes.contains(QStringLiteral("7700"))) << viewer.codes.join(u' ').toStdString();
         EXPECT_FALSE(late.codes.contains(QStringLiteral("7700")));
     }},
    {"the broker absent at start: polling goes on, the state is published once it is there", false, false,
     [](Room& room) {
         auto alice = room.publish(room.settings(Alice));
         ASSERT_TRUE(room.until([&] { return alice->toldAny({"cannot be reached", "polling goes on"}); }));
         ASSERT_TRUE(room.until([&] { return room.rounds >= 3; }));
         const auto startedAt = std::chrono::system_clock::now();
         ASSERT_TRUE(room.broker.start());
         Viewer viewer(room.settings(QStringLiteral("viewer")));
         ASSERT_TRUE(room.until([&] { return viewer.showsAfter(Alice, Com44, startedAt); }, ReconnectMs));
         EXPECT_TRUE(alice->toldAny({"publishing as alice"}));
         EXPECT_TRUE(viewer.online[Alice]);
     }},
    {"the broker going away and back: reconnected, the retained state published again", false, true,
     [](Room& room) {
         auto alice = room.publish(room.settings(Alice));
         {
             Viewer viewer(room.settings(QStringLiteral("viewer")));
             ASSERT_TRUE(room.until([&] { return viewer.showsAfter(Alice, Com44, {}); }));
         }
         room.broker.kill();
         ASSERT_TRUE(room.until([&] { return alice->toldAny({"went away", "polling goes on"}); }));
         const int before = room.rounds;
         ASSERT_TRUE(room.until([&] { return room.rounds >= before + 3; }));
         const auto restartedAt = std::chrono::system_clock::now();
         ASSERT_TRUE(room.broker.start()); // its store is gone with it: what it holds is published again
         Viewer viewer(room.settings(QStringLiteral("viewer")));
         ASSERT_TRUE(room.until([&] {
             return viewer.showsAfter(Alice, Com44, restartedAt) && viewer.row(Alice, Com45) && !viewer.row(Alice, Com45)->alarms.empty();
         }, ReconnectMs)) << alice->told.join(u'\n').toStdString();
         EXPECT_TRUE(alice->toldAny({"publishing as alice"}));
     }},
    {"a broker refusing the user: told, naming the password file and the access list", false, true,
     [](Room& room) {
         mqtt::BrokerSettings settings = room.settings(Alice);
         const QString wrong = room.folder.filePath(QStringLiteral("wrong.password"));
         QFile file(wrong);
         ASSERT_TRUE(file.open(QIODevice::WriteOnly));
         file.write("not-her-password\n");
         file.close();
         file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
         settings.passwordFile = wrong.toStdString();
         auto alice = room.publish(settings);
         ASSERT_TRUE(room.until([&] { return alice->toldAny({"refused the user alice", "access list"}); }));
         const int before = room.rounds;
         EXPECT_TRUE(room.until([&] { return room.rounds >= before + 2; }));
     }},
    {"a broker refusing the topic: told, naming the access list", false, true,
     [](Room& room) {
         mqtt::BrokerSettings settings = room.settings(QStringLiteral("carol"));
         settings.prefix = "elsewhere";
         auto carol = room.publish(settings);
         ASSERT_TRUE(room.until([&] { return carol->toldAny({"refused elsewhere/carol/online", "access list"}); }));
         const int before = room.rounds;
         EXPECT_TRUE(room.until([&] { return room.rounds >= before + 2; }));
     }},
    {"a broker restarted with persistence: a viewer keeps the last state", true, true,
     [](Room& room) {
         auto alice = room.publish(room.settings(Alice));
         {
             Viewer viewer(room.settings(QStringLiteral("viewer")));
             ASSERT_TRUE(room.until([&] { return viewer.showsAfter(Alice, Com44, {}) && viewer.online[Alice]; }));
         }
         alice.reset(); // gone with a clean stop: nothing will publish its state again
         room.broker.stop();
         ASSERT_TRUE(room.broker.start());
         Viewer viewer(room.settings(QStringLiteral("viewer")));
         ASSERT_TRUE(room.until([&] { return viewer.row(Alice, Com44) && viewer.online.contains(Alice); }));
         EXPECT_EQ(code(*viewer.row(Alice, Com44)), QStringLiteral("1200"));
         EXPECT_FALSE(viewer.online[Alice]);
     }},
    {"a second publisher under the same name is refused until the first has gone", false, true,
     [](Room& room) {
         room.otherLink.stop(); // the second publisher's port
         auto alice = std::make_unique<Publisher>();
         alice->fleet = std::make_unique<mqtt::FleetPublisher>(room.settings(Alice));
         alice->fleet->addLink(room.link, Com44);
         alice->fleet->start();
         Viewer viewer(room.settings(QStringLiteral("viewer")));
         ASSERT_TRUE(room.until([&] { return viewer.showsAfter(Alice, Com44, {}); }));
         auto second = room.xpdrctl(Alice, {QStringLiteral("--port"), Com45, QStringLiteral("--mqtt"), room.broker.url(),
                                            QStringLiteral("watch"), QStringLiteral("--interval"), QStringLiteral("0.2")});
         ASSERT_TRUE(second);
         QString err;
         ASSERT_TRUE(room.until([&] {
             err += QString::fromLocal8Bit(second->readError());
             return err.contains(QLatin1String("another publisher is online as alice"));
         })) << err.toStdString();
         EXPECT_EQ(viewer.row(Alice, Com45), nullptr);
         alice.reset();
         ASSERT_TRUE(room.until([&] { return viewer.showsAfter(Alice, Com45, {}); }, ReconnectMs));
         EXPECT_TRUE(viewer.online[Alice]);
         second->terminate();
     }},
    {"a removed port's retained topics are cleared", false, true,
     [](Room& room) {
         auto alice = room.publish(room.settings(Alice));
         Viewer viewer(room.settings(QStringLiteral("viewer")));
         ASSERT_TRUE(room.until([&] { return viewer.showsAfter(Alice, Com44, {}) && viewer.showsAfter(Alice, Com45, {}); }));
         alice->fleet->removeLink(Com44);
         ASSERT_TRUE(room.until([&] { return viewer.removed.contains(QStringLiteral("alice/COM44")); }));
         const auto removedAt = std::chrono::system_clock::now();
         Viewer late(room.settings(QStringLiteral("viewer")));
         ASSERT_TRUE(room.until([&] { return late.showsAfter(Alice, Com45, removedAt); }));
         EXPECT_EQ(late.row(Alice, Com44), nullptr);
         EXPECT_EQ(viewer.row(Alice, Com44), nullptr);
     }},
    {"a viewer that stops reading never holds the publisher up", false, true,
     [](Room& room) {
         room.link.setInterval(20);
         auto alice = room.publish(room.settings(Alice));
         const int stalled = stalledViewer(room.broker.plainPort(), QStringLiteral("viewer"));
         ASSERT_GE(stalled, 0);
         Viewer viewer(room.settings(QStringLiteral("viewer")));
         room.longestTurnMs = 0;
         // Until the stalled viewer's way is full and the broker holds what it does not take.
         ASSERT_TRUE(room.until([&] { return unsentByBroker(room.broker.plainPort()) >= 8 * 1024; }, 60000));
         const int before = room.rounds;
         ASSERT_TRUE(room.until([&] { return room.rounds >= before + 20; }));
         const auto now = std::chrono::system_clock::now();
         ASSERT_TRUE(room.until([&] { return viewer.showsAfter(Alice, Com44, now); }));
         EXPECT_LT(room.longestTurnMs, 1000);
         ::close(stalled);
     }},
};

TEST(BrokerFaultMatrix, EachFaultAsTheBrokerAndItsUsersMakeIt)
{
    for (const Fault& fault : Faults) {
        SCOPED_TRACE(fault.name);
        const bool failedBefore = ::testing::Test::HasFailure();
        Room room(fault.persistent);
        ASSERT_TRUE(room.kit.failure().isEmpty()) << room.kit.failure().toStdString();
        ASSERT_TRUE(room.first.ready() && room.second.ready());
        if (fault.brokerAtStart) {
            ASSERT_TRUE(room.broker.start()) << room.broker.output().toStdString();
        }
        fault.play(room);
        if (!failedBefore && ::testing::Test::HasFailure()) ADD_FAILURE() << "broker: " << room.broker.output().toStdString();
    }
}

} // namespace
