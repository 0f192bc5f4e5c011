// The fleet against transponders on pseudo-terminals: one row a behaviour of
// a link, each checked for what its row shows; links that never wait on each
// other, on the virtual clock; and another machine's rows beside them.
#include "framework/VirtualClock.h"
#include "links/FleetModel.h"
#include "tests/testkit/EventLoopWait.h"
#include "tests/testkit/PacedTransponder.h"
#include "tests/testkit/PortDirectory.h"
#include "tests/testkit/PtyPair.h"
#include "tests/testkit/SimulatorProcess.h"

#include <gtest/gtest.h>

#include <QColor>
#include <chrono>
#include <functional>
#include <map>
#include <memory>

using links::FleetModel;

namespace {

constexpr int Port = 40;

std::map<char, std::string> replies(const std::string& code)
{
    return {{'a', "a=1000"}, {'c', "c=" + code}, {'f', "f=1.2"}, {'i', "i=0"}, {'r', "r=Y"},   {'s', "s=t"},
            {'v', "v=27.9"}, {'o', "o=1532"},    {'u', "u=0"},   {'n', "n=04172"}, {'l', "l=0"}, {'d', "d=g"},
            {'z', "z=2.14"}, {'e', "e=0"}};
}

// One transponder behind COM<Port>, in whichever way the row plays it.
struct Bench {
    PortDirectory ports;
    std::unique_ptr<PtyPair> line;
    std::unique_ptr<PacedTransponder> transponder;
    std::unique_ptr<SimulatorProcess> simulator;

    void answer(const std::string& code)
    {
        line = std::make_unique<PtyPair>();
        ports.map(Port, line->slavePath());
        transponder = std::make_unique<PacedTransponder>(line->master(), replies(code));
    }
    void unplug()
    {
        transponder.reset();
        line->closeMaster();
    }
};

bool answering(const FleetModel& fleet)
{
    return fleet.link(0).lastRecord() && fleet.link(0).failure().isEmpty() && fleet.text(0, FleetModel::Code) != "";
}

struct Case {
    const char* behaviour;
    std::function<void(Bench&)> before;
    // What happens once the row has shown its first state; may be empty.
    std::function<void(Bench&, FleetModel&)> then;
    std::function<bool(const FleetModel&)> settled;
    // The row's texts once settled: the port cell's end, the code, the alarm.
    QString port;
    QString code;
    QString alarm;
    int emergencies;
};

TEST(FleetModel, EachLinkBehaviourShowsInItsRow)
{
    const Case cases[] = {
        {"instant", [](Bench& b) { b.answer("1200"); }, {}, answering, "", "1200", "", 0},
        {"slow",
         [](Bench& b) { b.simulator = std::make_unique<SimulatorProcess>(Port, QStringList{"--delay", "120"}); },
         {}, answering, "", "1200", "", 0},
        {"silent",
         [](Bench& b) {
             b.line = std::make_unique<PtyPair>();
             b.ports.map(Port, b.line->slavePath());
         },
         {}, [](const FleetModel& f) { return f.link(0).failure() == "silent"; }, " · silent", "", "Link lost", 0},
        {"unplugged then back", [](Bench& b) { b.answer("1200"); },
         [](Bench& b, FleetModel& f) {
             b.unplug();
             ASSERT_TRUE(runUntil([&] { return f.link(0).failure().startsWith("lost"); }, 5000));
             EXPECT_EQ(f.text(0, FleetModel::Alarm), "Link lost");
             b.answer("2000");
         },
         [](const FleetModel& f) { return f.text(0, FleetModel::Code) == "2000" && f.link(0).failure().isEmpty(); },
         "", "2000", "Link lost (returned to normal)", 0},
        {"7700", [](Bench& b) { b.answer("7700"); }, {}, answering, "", "7700", "Emergency code 7700", 1},
        {"handed to the panel and back", [](Bench& b) { b.answer("1200"); },
         [](Bench&, FleetModel& f) {
             f.handToPanel(0);
             EXPECT_EQ(f.text(0, FleetModel::Port), QStringLiteral("COM%1 · panel").arg(Port));
             EXPECT_EQ(f.link(0).phase(), links::PolledLink::Phase::Closed);
             PtyPair probe; // the port is free: the panel could open it
             FleetModel::PanelValues panel;
             panel.status.show(transponder::Item::Code, "4321");
             f.setPanelValues(panel);
             EXPECT_EQ(f.text(0, FleetModel::Code), "4321");
             f.returnFromPanel(Port);
         },
         [](const FleetModel& f) { return answering(f) && !f.heldByPanel(0); }, "", "1200", "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.behaviour);
        Bench bench;
        c.before(bench);
        FleetModel fleet;
        fleet.setInterval(300);
        int emergencies = 0;
        QObject::connect(&fleet, &FleetModel::emergency, [&](sPorts, const QString& code, const QString&) {
            emergencies += code == "7700";
        });
        int changedRows = 0;
        QObject::connect(&fleet, &FleetModel::dataChanged, [&](const QModelIndex& from, const QModelIndex& to) {
            changedRows += to.row() - from.row() + 1;
        });
        ASSERT_TRUE(fleet.addPort(Port));
        EXPECT_FALSE(fleet.addPort(Port));
        if (c.then) {
            ASSERT_TRUE(runUntil([&] { return fleet.link(0).lastRecord().has_value(); }, 10000));
            c.then(bench, fleet);
        }
        ASSERT_TRUE(runUntil([&] { return c.settled(fleet); }, 15000)) << fleet.text(0, FleetModel::Port).toStdString();
        EXPECT_TRUE(fleet.text(0, FleetModel::Port).startsWith(QStringLiteral("COM%1 → /dev/pts/").arg(Port)));
        EXPECT_TRUE(fleet.text(0, FleetModel::Port).endsWith(c.port)) << fleet.text(0, FleetModel::Port).toStdString();
        EXPECT_EQ(fleet.text(0, FleetModel::Code), c.code);
        EXPECT_EQ(fleet.text(0, FleetModel::Alarm), c.alarm);
        EXPECT_EQ(emergencies, c.emergencies);
        EXPECT_GT(changedRows, 0);
        if (QString(c.port).isEmpty()) {
            EXPECT_EQ(fleet.text(0, FleetModel::Quality), "14/14");
            EXPECT_EQ(fleet.text(0, FleetModel::Firmware), "2.14");
        }
    }
}

// A link that never answers holds up no other: on the virtual clock its
// time-outs run only as the clock is moved, and meanwhile the others finish a
// round at each of their intervals.
TEST(FleetModel, HungLinkDelaysNoOtherRound)
{
    fw::ScopedVirtualClock clock;
    PortDirectory ports;
    std::vector<std::unique_ptr<PtyPair>> lines;
    std::vector<std::unique_ptr<PacedTransponder>> transponders;
    FleetModel fleet(nullptr, clock);
    fleet.setInterval(2000);
    for (int i = 0; i < 3; ++i) {
        lines.push_back(std::make_unique<PtyPair>());
        ports.map(Port + i, lines.back()->slavePath());
        if (i != 1) transponders.push_back(std::make_unique<PacedTransponder>(lines.back()->master(), replies("1200")));
        fleet.addPort(static_cast<sPorts>(Port + i));
    }
    std::map<int, std::vector<std::uint64_t>> finished;
    for (int row = 0; row < 3; ++row)
        QObject::connect(&fleet.link(row), &links::PolledLink::roundFinished,
                         [&, row](const transponder::SequenceRecord&) { finished[row].push_back(clock.nowMs()); });
    ASSERT_TRUE(runUntil([&] { return finished[0].size() == 1 && finished[2].size() == 1; }, 5000));
    // The hung link's first query waits out its time-out only as the clock moves.
    for (int step = 0; step < 5 * 2000 / 100; ++step) {
        clock.advance(100);
        const std::size_t due = 1 + clock.nowMs() / 2000;
        ASSERT_TRUE(runUntil([&] { return finished[0].size() == due && finished[2].size() == due; }, 2000))
            << clock.nowMs();
    }
    EXPECT_EQ(finished[0].size(), 6u);
    EXPECT_EQ(finished[2].size(), 6u);
    EXPECT_GE(finished[1].size(), 1u);
    EXPECT_EQ(fleet.link(1).failure(), "silent");
    EXPECT_TRUE(fleet.link(0).failure().isEmpty());
}

} // namespace

namespace {

using transponder::AlarmKind;
using transponder::AlarmState;

// COM3 of the publisher "alpha", its code, as it published it `ageS` ago by this machine's clock.
links::RemoteRow published(const std::string& code, bool answering, double ageS,
                           std::vector<transponder::Alarm> alarms = {}, std::chrono::milliseconds clocks = {})
{
    links::RemoteRow row;
    row.publisher = "alpha";
    row.port = "COM3";
    row.record = transponder::SequenceRecord{};
    row.record->status.show(transponder::Item::Code, code);
    row.record->answered = answering ? 14 : 0;
    row.record->unanswered = answering ? "" : "acfirsvounldze";
    row.link = answering ? "polling" : "silent";
    row.answering = answering;
    row.published = std::chrono::system_clock::now() - std::chrono::milliseconds(static_cast<long long>(ageS * 1000));
    row.clockDifference = clocks;
    row.alarms = std::move(alarms);
    return row;
}

transponder::Alarm emergencyThere(AlarmState state) { return {AlarmKind::EmergencyCode, state, "7700"}; }

struct RemoteCase {
    const char* behaviour;
    // What the broker and the operator do, in order, on the fleet whose row 1 is remote.
    std::function<void(FleetModel&, fw::VirtualClock&)> steps;
    QString port;
    QString code;
    QString lastReply;
    QString alarm;
    bool greyed;
    int emergencies;
};

// A remote row beside a local one, on the virtual clock: one row a thing its
// publisher or this operator does, each checked for what the row shows, that
// it stays read only, and the notification its alarm raised.
TEST(FleetModel, RemoteRowsShowWhatTheirPublisherSaid)
{
    const RemoteCase cases[] = {
        {"answering, ages going on with the age clock",
         [](FleetModel& f, fw::VirtualClock& c) {
             f.setRemoteRow(published("1200", true, 30.5));
             c.advance(60000);
         },
         "COM3 · remote · alpha", "1200", "1 min", "", false, 0},
        {"not answering there", [](FleetModel& f, fw::VirtualClock&) { f.setRemoteRow(published("1200", false, 4.5)); },
         "COM3 · remote · alpha · silent", "1200", "4 s", "", true, 0},
        {"publisher gone, then back",
         [](FleetModel& f, fw::VirtualClock&) {
             f.setRemoteRow(published("1200", true, 0.5));
             f.setPublisherOnline("alpha", false);
             EXPECT_EQ(f.text(1, FleetModel::Port), "COM3 · remote · alpha · gone");
             EXPECT_EQ(f.data(f.index(1, FleetModel::Code), Qt::ForegroundRole).value<QColor>(), QColor(Qt::gray));
             f.setPublisherOnline("alpha", true);
         },
         "COM3 · remote · alpha", "1200", "0 s", "", false, 0},
        {"gone for good", [](FleetModel& f, fw::VirtualClock&) {
             f.setRemoteRow(published("1200", true, 0.5));
             f.setPublisherOnline("alpha", false);
         },
         "COM3 · remote · alpha · gone", "1200", "0 s", "", true, 0},
        {"clocks 2 s apart", [](FleetModel& f, fw::VirtualClock&) {
             f.setRemoteRow(published("1200", true, 0.5, {}, std::chrono::milliseconds(-2000)));
         },
         "COM3 · remote · alpha", "1200", "0 s", "", false, 0},
        {"clocks 5 s apart", [](FleetModel& f, fw::VirtualClock&) {
             f.setRemoteRow(published("1200", true, 0.5, {}, std::chrono::milliseconds(-5300)));
         },
         "COM3 · remote · alpha · clocks differ by 5 s", "1200", "0 s", "", false, 0},
        // Acknowledged there: nobody here has seen it yet.
        {"7700 acknowledged there", [](FleetModel& f, fw::VirtualClock&) {
             f.setRemoteRow(published("7700", true, 0.5, {emergencyThere(AlarmState::ActiveAcknowledged)}));
             f.setRemoteRow(published("7700", true, 0.5, {emergencyThere(AlarmState::ActiveAcknowledged)}));
         },
         "COM3 · remote · alpha", "7700", "0 s", "Emergency code 7700", false, 1},
        {"7700 ended there, not acknowledged here", [](FleetModel& f, fw::VirtualClock&) {
             f.setRemoteRow(published("7700", true, 0.5, {emergencyThere(AlarmState::ActiveUnacknowledged)}));
             f.setRemoteRow(published("1200", true, 0.5, {emergencyThere(AlarmState::ReturnedUnacknowledged)}));
         },
         "COM3 · remote · alpha", "1200", "0 s", "Emergency code 7700 (returned to normal)", false, 1},
        {"7700 acknowledged here, then ended there", [](FleetModel& f, fw::VirtualClock&) {
             f.setRemoteRow(published("7700", true, 0.5, {emergencyThere(AlarmState::ActiveUnacknowledged)}));
             f.acknowledge(1);
             // Still unacknowledged there: the publisher's operator acknowledges on their own.
             f.setRemoteRow(published("7700", true, 0.5, {emergencyThere(AlarmState::ActiveUnacknowledged)}));
             EXPECT_EQ(f.text(1, FleetModel::Alarm), "Emergency code 7700");
             f.setRemoteRow(published("1200", true, 0.5));
         },
         "COM3 · remote · alpha", "1200", "0 s", "", false, 1},
    };
    for (const RemoteCase& c : cases) {
        SCOPED_TRACE(c.behaviour);
        fw::ScopedVirtualClock clock;
        PortDirectory ports;
        PtyPair line;
        ports.map(Port, line.slavePath());
        FleetModel fleet(nullptr, clock);
        ASSERT_TRUE(fleet.addPort(Port));
        int emergencies = 0;
        QObject::connect(&fleet, &FleetModel::remoteEmergency,
                         [&](const QString& publisher, const QString& port, const QString& code, const QString& meaning) {
                             EXPECT_EQ(publisher + port + code + meaning, "alphaCOM37700general emergency");
                             ++emergencies;
                         });
        c.steps(fleet, clock);
        ASSERT_EQ(fleet.rowCount(), 2);
        EXPECT_FALSE(fleet.remote(0));
        EXPECT_TRUE(fleet.remote(1));
        EXPECT_EQ(fleet.text(1, FleetModel::Port), c.port);
        EXPECT_EQ(fleet.text(1, FleetModel::Code), c.code);
        EXPECT_EQ(fleet.text(1, FleetModel::LastReply), c.lastReply);
        EXPECT_EQ(fleet.text(1, FleetModel::Alarm), c.alarm);
        EXPECT_EQ(fleet.data(fleet.index(1, FleetModel::Code), Qt::ForegroundRole).value<QColor>() == QColor(Qt::gray),
                  c.greyed);
        EXPECT_EQ(emergencies, c.emergencies);
        // Read only: no hand-over, no removal but by its publisher.
        fleet.handToPanel(1);
        fleet.removeRow(1);
        EXPECT_FALSE(fleet.heldByPanel(1));
        EXPECT_EQ(fleet.text(1, FleetModel::Port), c.port);
        fleet.removeRemoteRow("alpha", "COM3");
        EXPECT_EQ(fleet.rowCount(), 1);
    }
}

} // namespace
