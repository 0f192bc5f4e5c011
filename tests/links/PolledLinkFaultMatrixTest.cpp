// The faults real adapters and servers make, played against the polled link
// of the fleet and of `xpdrctl watch`: one row a transport and a fault, each
// checked for what the link tells (its failure, whether it calls itself
// answering) and that its thread was never held waiting for the device.
#include "links/PolledLink.h"
#include "platform/NetworkSerialDevice.h"
#include "platform/PosixSerialDevice.h"
#include "tests/testkit/EventLoopWait.h"
#include "tests/testkit/PacedTransponder.h"
#include "tests/testkit/PortDirectory.h"
#include "tests/testkit/PtyPair.h"
#include "tests/testkit/Ser2netProcess.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <fcntl.h>
#include <functional>
#include <map>
#include <memory>
#include <unistd.h>

using links::PolledLink;

namespace {

constexpr int Port = 44;

std::map<char, std::string> replies()
{
    return {{'a', "a=1000"}, {'c', "c=1200"}, {'f', "f=1.2"}, {'i', "i=0"}, {'r', "r=Y"},   {'s', "s=t"},
            {'v', "v=27.9"}, {'o', "o=1532"}, {'u', "u=0"},   {'n', "n=04172"}, {'l', "l=0"}, {'d', "d=g"},
            {'z', "z=2.14"}, {'e', "e=0"}};
}

struct Rig {
    PortDirectory ports;
    PolledLink link{Port};
    std::vector<QString> failures; // each failure as the link first told it
    bool everAnswering = false;
    qint64 longestTurnMs = 0;      // the longest the link kept the thread in one call

    Rig()
    {
        link.setInterval(200);
        QObject::connect(&link, &PolledLink::changed, [this] {
            everAnswering = everAnswering || link.answering();
            if (!link.failure().isEmpty() && (failures.empty() || failures.back() != link.failure()))
                failures.push_back(link.failure());
        });
    }
    // Runs the loop until `done`, timing each turn of it.
    bool until(const std::function<bool()>& done, int limitMs = 10000)
    {
        QElapsedTimer turn;
        turn.start();
        return runUntil([&] {
            longestTurnMs = std::max(longestTurnMs, turn.restart());
            return done();
        }, limitMs);
    }
};

// Fills the pseudo-terminal's way to its far end, which reads nothing. The
// kernel moves what was written on towards the far end's reader a little
// later, freeing room: it is full once a pass after a pause takes nothing.
void stopReading(PtyPair& line)
{
    const int fd = line.slaveHolder();
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    const std::string block(4096, 'x');
    for (int pass = 0; pass < 200; ++pass) {
        std::size_t taken = 0;
        // Big blocks first, then byte by byte: the last room is smaller than a block.
        for (const std::size_t size : {block.size(), std::size_t{1}})
            for (ssize_t wrote; (wrote = ::write(fd, block.data(), size)) > 0;) taken += static_cast<std::size_t>(wrote);
        if (taken == 0 && pass > 0) return;
        runFor(20);
    }
    ADD_FAILURE() << "the line never filled";
}

void readAgain(PtyPair& line)
{
    char buffer[4096];
    ::fcntl(line.master(), F_SETFL, ::fcntl(line.master(), F_GETFL) | O_NONBLOCK);
    while (::read(line.master(), buffer, sizeof buffer) > 0) {
    }
}

struct Row {
    const char* transport;
    const char* fault;
    std::function<void(Rig&)> play;
    std::vector<const char*> failures; // the start of each failure told, in order
    bool answersInTheEnd;
};

const Row Rows[] = {
    {"pty", "far end stops reading, then reads again",
     [](Rig& rig) {
         PtyPair line;
         rig.ports.map(Port, line.slavePath());
         rig.link.start();
         // Opening flushes the line: it fills up once open.
         ASSERT_TRUE(rig.until([&] { return rig.link.phase() == PolledLink::Phase::Polling; }));
         stopReading(line);
         ASSERT_TRUE(rig.until([&] { return rig.link.failure() == "output held up"; })) << rig.link.failure().toStdString();
         EXPECT_EQ(rig.link.alarms().shown() ? rig.link.alarms().shown()->kind : transponder::AlarmKind::EmergencyCode,
                   transponder::AlarmKind::LinkLost);
         EXPECT_FALSE(rig.until([&] { return rig.link.lastRecord().has_value(); }, 500))
             << "no round is finished while nothing goes out";
         readAgain(line);
         PacedTransponder transponder(line.master(), replies());
         ASSERT_TRUE(rig.until([&] { return rig.link.answering(); }));
         EXPECT_TRUE(rig.link.failure().isEmpty());
     },
     {"output held up"}, true},
    {"pty", "entry re-pointed to another transponder while the link is up",
     [](Rig& rig) {
         PtyPair a, b;
         PacedTransponder first(a.master(), replies());
         rig.ports.map(Port, a.slavePath());
         rig.link.start();
         ASSERT_TRUE(rig.until([&] { return rig.link.answering(); }));
         const QString leadsTo = rig.link.destination();
         auto other = replies();
         other['c'] = "c=4321";
         PacedTransponder second(b.master(), other);
         rig.ports.map(Port, b.slavePath());
         rig.until([&] { return false; }, 600); // rounds go on over the open port
         EXPECT_EQ(rig.link.destination(), leadsTo) << "where the open port leads, not the entry";
         EXPECT_EQ(rig.link.lastRecord()->status.text(transponder::Item::Code), "1200");
         first.stop();
         a.closeMaster();
         ASSERT_TRUE(rig.until([&] {
             return rig.link.answering() && rig.link.lastRecord()->status.text(transponder::Item::Code) == "4321";
         }));
         EXPECT_NE(rig.link.destination(), leadsTo);
     },
     {"lost: "}, true},
    {"pty", "two entries naming one device, the other held by the panel",
     [](Rig& rig) {
         PtyPair line;
         platform::PosixSerialDevice panel;
         ASSERT_EQ(panel.openPath(line.slavePath()), 0);
         rig.ports.map(Port, line.slavePath());
         rig.link.start();
         // Busy, and who holds it: this program, by its name and process id.
         ASSERT_TRUE(rig.until([&] { return rig.link.failure().contains(QStringLiteral("(pid %1)").arg(::getpid())); }))
             << rig.link.failure().toStdString();
     },
     {"COM44 \u2192 /dev/pts/"}, false},
    {"raw TCP", "server accepts and turns us away: another client holds the port",
     [](Rig& rig) {
         PtyPair line;
         Ser2netProcess server(QString::fromStdString(line.slavePath()), Ser2netProcess::Accepter::RawTcp, 9600,
                               Ser2netProcess::CharDelay::Default, {QStringLiteral("max-connections: 1")});
         ASSERT_TRUE(server.start());
         rig.ports.write(Port, "tcp://127.0.0.1:" + std::to_string(server.port()) + "\n");
         platform::NetworkSerialDevice holder;
         ASSERT_EQ(holder.open("COM" + std::to_string(Port)), 0);
         rig.link.start();
         ASSERT_TRUE(rig.until([&] { return rig.link.failure().contains("Port already in use"); }));
         runFor(1500); // a few attempts
     },
     {}, false},
};

TEST(PolledLinkFaultMatrix, EachFaultIsToldAsItIsAndHoldsNothingUp)
{
    for (const Row& row : Rows) {
        SCOPED_TRACE(std::string(row.transport) + " | " + row.fault);
        Rig rig;
        row.play(rig);
        ASSERT_GE(rig.failures.size(), row.failures.size());
        for (std::size_t i = 0; i < row.failures.size(); ++i)
            EXPECT_TRUE(rig.failures[i].startsWith(QString::fromUtf8(row.failures[i]))) << rig.failures[i].toStdString();
        EXPECT_EQ(rig.everAnswering, row.answersInTheEnd) << "answering only once a round was answered";
        // A write that waited for the device would hold the loop for a second.
        EXPECT_LT(rig.longestTurnMs, 500) << "the link held its thread";
        rig.link.stop();
    }
}

} // namespace
