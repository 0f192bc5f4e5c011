// The faults real adapters and servers make, one a row, each played against the
// link's reconnect machine (on the virtual clock unless the row runs in real
// time against a real server) and checked the same way: the reports the
// operator got, when the automatic attempts came, every device path that was
// opened, what the status bar says, and that the taps saw exactly the bytes
// that reached the far end.
#include "Pump.h"
#include "framework/MessageBoxes.h"
#include "framework/Timer.h"
#include "framework/VirtualClock.h"
#include "platform/ComPortDevice.h"
#include "platform/NetworkSerialDevice.h"
#include "platform/PortNames.h"
#include "platform/PosixSerialDevice.h"
#include "serial/LinkMonitor.h"
#include "serial/Serial2.h"
#include "serial/SerialTap.h"
#include "tests/testkit/LoopbackServer.h"
#include "tests/testkit/PortDirectory.h"
#include "tests/testkit/PtyPair.h"
#include "tests/testkit/Ser2netProcess.h"
#include "tests/testkit/SimulatorProcess.h"
#include "transponder/QuerySequencer.h"
#include "transponder/ReplyParser.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <optional>
#include <unistd.h>

using namespace std::chrono_literals;
using State = ReconnectMachine::State;

namespace {

// COM9: were an attempt ever to fall back on a built-in device, it would be
// ttyS8, which the noting device refuses anyway; never the console.
constexpr int Port = 9;
constexpr int SimulatorPort = 8;
const std::string Frame1 = "\x02" "c=?\x03";
const std::string Frame2 = "\x02" "v=?\x03";

struct Opened {
    std::uint64_t at;
    std::string path;
};

// Opens as the panel's device does, and notes what each opening looked up.
class NotingDevice : public platform::ComPortDevice {
public:
    NotingDevice(std::vector<Opened>& log, std::function<void()>& beforeOpen)
        : log_(log)
        , beforeOpen_(beforeOpen)
    {
    }
    int open(const std::string& comName) override
    {
        if (beforeOpen_) std::exchange(beforeOpen_, nullptr)();
        const platform::PortPath path = platform::tracePortName(comName);
        const std::string device = path.device.empty() ? path.entry : path.device;
        if (!device.empty()) log_.push_back({fw::tickCount(), device});
        if (device.rfind("/dev/ttyS", 0) == 0) return ENOENT;
        return ComPortDevice::open(comName);
    }

private:
    std::vector<Opened>& log_;
    std::function<void()>& beforeOpen_;
};

class Boxes : public fw::ScopedRecordingMessageBoxes {
public:
    fw::MsgResult show(const QString& text, const QString& caption, fw::MsgButtons buttons, fw::MsgIcon icon) override
    {
        if (whileShown) std::exchange(whileShown, nullptr)();
        return ScopedRecordingMessageBoxes::show(text, caption, buttons, icon);
    }
    std::function<void()> whileShown;
};

class SentTap : public SerialTap {
public:
    void sent(const std::string& bytes) override { this->bytes += bytes; }
    void received(const std::string&) override {}
    void dropped(const std::string&) override {}
    std::string bytes;
};

// The panel's automatic sequence, without its window.
class Auto : public transponder::SequencerHost {
public:
    Auto(TSerial& serial, LinkMonitor& monitor)
        : serial_(serial)
        , monitor_(monitor)
    {
        countdown_.setOnTimer([this](QObject*) { sequencer_.countdownTick(); });
        spacing_.setOnTimer([this](QObject*) { sequencer_.spacingTick(); });
        watchdog_.setOnTimer([this](QObject*) { sequencer_.watchdogTick(); });
        QObject::connect(&monitor, &LinkMonitor::restored, [this] { sequencer_.lineRestored(); });
        sequencer_.reloadCountdown();
        sequencer_.toggleAuto();
    }
    void replied(const std::string& message)
    {
        if (transponder::parseReply(message)) sequencer_.replyDecoded();
    }
    void serve() { sequencer_.sendDue(); }

    int interval() override { return 1; }
    std::optional<std::string> simulatedAltitude() override { return std::nullopt; }
    void send(const std::string& frame) override
    {
        if (serial_.Active()) serial_.SendString(frame);
    }
    void autoSwitched(bool) override {}
    void sequenceRunning(bool) override {}
    void linkSilent() override {}
    void pingExpired() override {}
    void sequenceCompleted() override { monitor_.reconnector().linkHeld(); }

private:
    TSerial& serial_;
    LinkMonitor& monitor_;
    fw::TTimer countdown_, spacing_, watchdog_;
    transponder::QuerySequencer sequencer_{*this, countdown_, spacing_, watchdog_};
};

class Rig {
public:
    explicit Rig(bool realTime)
        : virtual_(realTime ? nullptr : std::make_unique<fw::ScopedVirtualClock>())
    {
        serial.setPort(Port);
        serial.setDataBits(d8bit);
        serial.setRxEventMode(rxMessage);
        serial.setOnMessage([this](QObject*, const std::string& message) {
            messages.push_back(message);
            if (autoRuns) autoRuns->replied(message);
        });
        serial.addTap(&tap);
        QObject::connect(&monitor, &LinkMonitor::linkChanged, [this](const QString& text) { link = text; });
    }
    ~Rig() { serial.setActive(false); }

    void operatorConnects()
    {
        monitor.connecting();
        serial.setActive(true);
        monitor.connected();
    }
    // The link held: a reply decoded, then the machine's own count of a
    // quiet link, on the clock.
    void holds()
    {
        monitor.reconnector().replyDecoded();
        advance(ReconnectMachine::HoldMs);
    }
    void markLoss() { lossAt = fw::tickCount(); }
    State state() { return monitor.reconnector().state(); }
    bool until(const std::function<bool()>& done, std::chrono::milliseconds limit = 3000ms)
    {
        return pumpUntil([&] {
            if (autoRuns) autoRuns->serve();
            return done();
        }, limit);
    }
    // Moves the virtual clock on by `ms`, a due timer at a time; after each,
    // `settle` (when given) is served until it holds.
    void advance(std::uint64_t ms, const std::function<bool()>& settle = {})
    {
        const std::uint64_t end = virtualClock().nowMs() + ms;
        for (;;) {
            const long long due = virtualClock().nextDueIn();
            const std::uint64_t now = virtualClock().nowMs();
            if (due < 0 || now + static_cast<std::uint64_t>(due) > end) break;
            virtualClock().advance(static_cast<std::uint64_t>(due));
            if (settle) {
                EXPECT_TRUE(until(settle)) << "not settled at " << virtualClock().nowMs() << " ms";
            }
        }
        virtualClock().advance(end - virtualClock().nowMs());
    }
    // The openings from the loss on, in ms after it.
    std::vector<std::uint64_t> attempts() const
    {
        std::vector<std::uint64_t> times;
        for (const Opened& o : opened)
            if (lossAt && o.at >= *lossAt) times.push_back(o.at - *lossAt);
        return times;
    }
    std::vector<std::string> openedNames() const
    {
        std::vector<std::string> names;
        for (const Opened& o : opened) names.push_back(this->names.count(o.path) ? this->names.at(o.path) : o.path);
        return names;
    }
    void name(const std::string& path, const std::string& as)
    {
        char real[PATH_MAX];
        names[::realpath(path.c_str(), real) ? real : path] = as;
    }

    fw::VirtualClock& virtualClock() { return *virtual_; }

    std::unique_ptr<fw::ScopedVirtualClock> virtual_; // before the timers it drives
    PortDirectory ports;
    Boxes boxes;
    std::vector<Opened> opened;
    std::function<void()> beforeOpen;
    TSerial serial{nullptr, [this] { return std::make_shared<NotingDevice>(opened, beforeOpen); }};
    LinkMonitor monitor{serial};
    SentTap tap;
    std::vector<std::string> messages;
    QString link;
    std::optional<std::uint64_t> lossAt;
    std::unique_ptr<Auto> autoRuns;
    std::string wire; // what reached the far end
    std::map<std::string, std::string> names;
};

std::string drain(PtyPair& pty)
{
    std::string bytes;
    for (std::string got; !(got = pty.receive(1 << 16, 20ms)).empty();) bytes += got;
    return bytes;
}

// A pseudo-terminal at the far end, its bytes on the wire read by the row.
struct PtyEnd {
    std::unique_ptr<PtyPair> a = std::make_unique<PtyPair>();
    std::unique_ptr<PtyPair> b;
    void connect(Rig& rig)
    {
        rig.name(a->slavePath(), "A");
        rig.ports.map(Port, a->slavePath());
        rig.operatorConnects();
        ASSERT_TRUE(rig.serial.Active());
        rig.serial.SendString(Frame1);
        rig.wire += drain(*a);
    }
    // The line hangs up; the loss is seen and reported.
    void pull(Rig& rig)
    {
        rig.markLoss();
        const std::size_t reports = rig.boxes.shown.size();
        a->closeMaster();
        ASSERT_TRUE(rig.until([&] { return rig.boxes.shown.size() > reports || rig.state() == State::Waiting; }));
    }
    PtyPair& plugB(Rig& rig)
    {
        b = std::make_unique<PtyPair>();
        rig.name(b->slavePath(), "B");
        rig.ports.map(Port, b->slavePath());
        return *b;
    }
    void sendOn(Rig& rig, PtyPair& end)
    {
        ASSERT_TRUE(rig.until([&] { return rig.serial.Active(); }));
        rig.serial.SendString(Frame2);
        rig.wire += drain(end);
    }
};

std::string framed(const QStringList& frames)
{
    std::string bytes;
    for (const QString& frame : frames) bytes += "\x02" + frame.toStdString() + "\x03";
    return bytes;
}

struct Row {
    const char* transport;
    const char* fault;
    bool realTime;
    std::function<void(Rig&)> play;
    std::size_t reports;
    std::vector<std::uint64_t> attempts; // every opening's time, in ms after the loss
    std::vector<std::string> opened;     // A, B: the far ends; entry: a network entry
    const char* status;                  // what the link section ends with
};

void networkEntry(Rig& rig, const std::string& scheme, quint16 port)
{
    rig.ports.write(Port, scheme + "://127.0.0.1:" + std::to_string(port) + "\n");
    rig.name(rig.ports.entry(Port), "entry");
}

// Connects to `server` over raw TCP, lets the link hold, and takes the server
// away: connects are refused until it listens again.
void loseHeldLink(Rig& rig, LoopbackServer& server)
{
    networkEntry(rig, "tcp", server.port());
    rig.operatorConnects();
    ASSERT_TRUE(server.accept());
    rig.holds();
    server.stopListening();
    rig.markLoss();
    ASSERT_TRUE(rig.until([&] { return rig.state() == State::Waiting; }));
}

// A held link whose raw TCP server goes away for `away` ms and comes back on
// the same port: the retries come on the schedule until one finds it.
Row serverAway(const char* fault, std::uint64_t away, std::vector<std::uint64_t> attempts)
{
    const std::size_t openings = attempts.size() + 1;
    return {"raw TCP", fault, false,
            [away](Rig& rig) {
                LoopbackServer server;
                loseHeldLink(rig, server);
                rig.advance(away);
                server.listenAgain();
                rig.advance(RetrySchedule::Last.count());
                ASSERT_TRUE(server.accept());
                rig.serial.SendString(Frame2);
                rig.wire = server.receive(Frame2.size());
            },
            1, std::move(attempts), std::vector<std::string>(openings, "entry"), "restored"};
}

const Row Rows[] = {
    {"pty", "device gone and back", false,
     [](Rig& rig) {
         PtyEnd end;
         end.connect(rig);
         rig.holds();
         // Behind the box, strangers' terminals take the lost one's number: the
         // old link, unchanged, must not lead the port into one of them.
         std::vector<std::unique_ptr<PtyPair>> strangers;
         const std::string lost = end.a->slavePath();
         rig.boxes.whileShown = [&] {
             end.a.reset(); // its last descriptor: the number is free
             while (::access(lost.c_str(), F_OK) != 0 && strangers.size() < 64)
                 strangers.push_back(std::make_unique<PtyPair>());
         };
         end.pull(rig);
         EXPECT_EQ(::access(lost.c_str(), F_OK), 0) << "the number was not taken again";
         EXPECT_EQ(rig.monitor.reconnector().watchedFolders(), QStringList{QString::fromStdString(rig.ports.path())});
         rig.advance(30000);
         end.sendOn(rig, end.plugB(rig));
     },
     1, {30000}, {"A", "B"}, "restored"},
    {"pty", "device back while the loss report is still on screen", false,
     [](Rig& rig) {
         PtyEnd end;
         end.connect(rig);
         rig.holds();
         rig.boxes.whileShown = [&] { end.plugB(rig); };
         end.pull(rig);
         EXPECT_EQ(rig.state(), State::Connected) << "reopened as the box closed";
         end.sendOn(rig, *end.b);
     },
     1, {0}, {"A", "B"}, "restored"},
    {"pty", "device back while the loss report is still up: it goes away by itself", false,
     [](Rig& rig) {
         PtyEnd end;
         end.connect(rig);
         rig.holds();
         // Nobody presses OK: the attempts go on behind the report.
         rig.boxes.whileShown = [&] {
             end.plugB(rig);
             EXPECT_TRUE(rig.until([&] { return rig.state() == State::Connected; }));
         };
         end.pull(rig);
         EXPECT_EQ(rig.boxes.closed, std::vector<QString>{rig.boxes.shown.at(0).text}) << "the report withdrawn";
         end.sendOn(rig, *end.b);
     },
     1, {0}, {"A", "B"}, "restored"},
    {"pty", "reconnecting switched off while lost, and on again", false,
     [](Rig& rig) {
         PtyEnd end;
         end.connect(rig);
         rig.holds();
         rig.monitor.reconnector().setEnabled(false);
         end.pull(rig);
         ASSERT_TRUE(rig.until([&] { return rig.state() == State::Stopped; }));
         PtyPair& b = end.plugB(rig);
         rig.advance(30000);
         EXPECT_FALSE(rig.serial.Active()) << "off: nothing is tried";
         rig.monitor.reconnector().setEnabled(true);
         end.sendOn(rig, b);
     },
     1, {30000}, {"A", "B"}, "restored"},
    {"pty", "Connect before the adapter is there; it comes, held by another program", false,
     [](Rig& rig) {
         rig.markLoss();
         rig.operatorConnects(); // the built-in device in its place is no device here
         ASSERT_EQ(rig.state(), State::Waiting);
         PtyPair line;
         platform::PosixSerialDevice holder;
         ASSERT_EQ(holder.openPath(line.slavePath()), 0);
         rig.name(line.slavePath(), "A");
         rig.ports.map(Port, line.slavePath());
         // The status bar tells the last attempt's reason, not the Connect's.
         ASSERT_TRUE(rig.until([&] { return rig.link.contains("busy"); })) << rig.link.toStdString();
     },
     1, {0, 0}, {"/dev/ttyS8", "A"}, "busy"},
    {"pty", "entry removed while waiting, then restored", false,
     [](Rig& rig) {
         PtyEnd end;
         end.connect(rig);
         rig.holds();
         end.pull(rig);
         ::unlink(rig.ports.entry(Port).c_str());
         ASSERT_TRUE(rig.until([&] { return rig.link.endsWith("lost, waiting for the adapter"); }));
         rig.advance(30000);
         EXPECT_EQ(rig.virtualClock().nextDueIn(), -1) << "nothing wakes while the entry is away";
         end.sendOn(rig, end.plugB(rig));
     },
     1, {30000}, {"A", "B"}, "restored"},
    {"pty", "entry re-pointed to another device", false,
     [](Rig& rig) {
         PtyEnd end;
         end.connect(rig);
         end.pull(rig); // the Connect's link had not held: the loss is its one report
         PtyPair other;
         rig.name(other.slavePath(), "B");
         rig.ports.map(Port, other.slavePath());
         end.sendOn(rig, other);
     },
     1, {0, 0}, {"A", "B"}, "restored"},
    {"pty", "half a frame before the loss", false,
     [](Rig& rig) {
         PtyEnd end;
         end.connect(rig);
         rig.holds();
         end.a->send("\x02" "c=12");
         ASSERT_TRUE(rig.until([&] { return rig.serial.RxWaiting() == 0; })) << "the half frame is being assembled";
         end.pull(rig);
         PtyPair& b = end.plugB(rig);
         end.sendOn(rig, b);
         b.send("00\x03\x02" "v=12.0\x03");
         ASSERT_TRUE(rig.until([&] { return !rig.messages.empty(); }));
         EXPECT_EQ(rig.messages, std::vector<std::string>{"\x02" "v=12.0\x03"}) << "no reply made of two connections";
     },
     1, {0}, {"A", "B"}, "restored"},
    {"pty", "a write that times out, its bytes going out later", false,
     [](Rig& rig) {
         PtyEnd end;
         end.connect(rig);
         // Nobody reads: the terminal takes what fits and the write times out.
         rig.serial.SendString(std::string(1 << 20, 'x'));
         EXPECT_EQ(rig.serial.ErrorCode(), ETIMEDOUT);
         rig.wire += drain(*end.a);
         EXPECT_EQ(rig.wire.size(), rig.tap.bytes.size()) << "the taps hear what the terminal took when it took it";
         rig.serial.SendString(Frame2);
         rig.wire += drain(*end.a);
     },
     1, {}, {"A"}, "connected"},
    {"raw TCP", "accept and hang up", false,
     [](Rig& rig) {
         PtyPair line;
         Ser2netProcess server(QString::fromStdString(line.slavePath()), Ser2netProcess::Accepter::RawTcp, 9600,
                               Ser2netProcess::CharDelay::Default, {QStringLiteral("max-connections: 1")});
         ASSERT_TRUE(server.start());
         networkEntry(rig, "tcp", server.port());
         // Another client holds the port: what it sends reaches the line.
         platform::NetworkSerialDevice holder;
         ASSERT_EQ(holder.open("COM" + std::to_string(Port)), 0);
         ASSERT_EQ(holder.write("!", 1, 1000), 0);
         ASSERT_EQ(line.receive(1), "!");
         rig.markLoss();
         rig.operatorConnects();
         ASSERT_TRUE(rig.until([&] { return rig.state() == State::Waiting; }));
         rig.advance(60000, [&] { return rig.state() == State::Waiting; });
         rig.wire = drain(line);
     },
     1, {0, 500, 1500, 3500, 7500, 15500, 23500, 31500, 39500, 47500, 55500},
     std::vector<std::string>(11, "entry"), "another client holds this port (\"Port already in use\")"},
    {"raw TCP", "accepts, never answers, hangs up after 12 s", false,
     [](Rig& rig) {
         LoopbackServer server;
         networkEntry(rig, "tcp", server.port());
         rig.operatorConnects();
         rig.autoRuns = std::make_unique<Auto>(rig.serial, rig.monitor);
         // Up for longer than the hold count with nothing ever answered: not
         // held, so only the Connect's report, and the back-off goes on.
         for (const std::uint64_t retry : {0, 500, 1000, 2000}) {
             rig.advance(retry);
             ASSERT_TRUE(server.accept());
             rig.advance(12000, [&] { return rig.serial.PendingHandOffs() == 0; });
             rig.wire += server.receive(1 << 16, 100ms);
             server.closeConnection();
             if (!rig.lossAt) rig.markLoss();
             ASSERT_TRUE(rig.until([&] { return rig.state() == State::Waiting; }));
         }
         rig.autoRuns.reset();
     },
     1, {500, 13500, 27500}, std::vector<std::string>(4, "entry"), "next try"},
    {"raw TCP", "refused", false,
     [](Rig& rig) {
         networkEntry(rig, "tcp", unusedLoopbackPort());
         rig.markLoss();
         rig.operatorConnects();
         rig.advance(20000);
     },
     1, {0, 500, 1500, 3500, 7500, 15500}, std::vector<std::string>(6, "entry"), "next try"},
    serverAway("server away for 1 s", 1000, {0, 500, 1500}),
    serverAway("server away for 5 s", 5000, {0, 500, 1500, 3500, 7500}),
    serverAway("server away for 20 s", 20000, {0, 500, 1500, 3500, 7500, 15500, 23500}),
    {"raw TCP", "entry removed while waiting", false,
     [](Rig& rig) {
         LoopbackServer server;
         loseHeldLink(rig, server);
         // The entry goes just as the next attempt looks it up.
         rig.beforeOpen = [&] { ::unlink(rig.ports.entry(Port).c_str()); };
         rig.advance(30000);
         EXPECT_EQ(rig.virtualClock().nextDueIn(), -1) << "nothing wakes while the entry is away";
         server.listenAgain();
         networkEntry(rig, "tcp", server.port());
         ASSERT_TRUE(rig.until([&] { return rig.serial.Active(); }));
     },
     1, {0, 30000}, {"entry", "entry", "entry"}, "restored"},
    {"RFC 2217", "settings refused", false,
     [](Rig& rig) {
         PtyPair line;
         auto server = std::make_unique<Ser2netProcess>(QString::fromStdString(line.slavePath()),
                                                        Ser2netProcess::Accepter::Rfc2217);
         ASSERT_TRUE(server->start());
         networkEntry(rig, "rfc2217", server->port());
         // A flow control the server's line does not have: it says which it kept.
         rig.serial.setFlowMode(fcDTR_DSR);
         rig.operatorConnects();
         EXPECT_TRUE(rig.serial.Active()) << "the operator's port stays open";
         EXPECT_TRUE(rig.link.contains("open, settings refused: the server set")) << rig.link.toStdString();
         server->kill();
         rig.markLoss();
         ASSERT_TRUE(rig.until([&] { return rig.state() == State::Waiting; }));
         ASSERT_TRUE(server->start());
         // Each attempt reaches the server, is refused and closed again.
         rig.advance(4000);
         EXPECT_FALSE(rig.serial.Active());
     },
     1, {0, 500, 1500, 3500}, {"entry", "entry", "entry", "entry"}, "the server set"},
    {"RFC 2217", "server killed while Auto runs", true,
     [](Rig& rig) {
         SimulatorProcess simulator(SimulatorPort, {QStringLiteral("--log")});
         ASSERT_TRUE(simulator.ready());
         Ser2netProcess server(linkedDevice(QString::fromStdString(rig.ports.entry(SimulatorPort))),
                               Ser2netProcess::Accepter::Rfc2217);
         ASSERT_TRUE(server.start());
         networkEntry(rig, "rfc2217", server.port());
         rig.operatorConnects();
         rig.autoRuns = std::make_unique<Auto>(rig.serial, rig.monitor);
         ASSERT_TRUE(rig.until([&] { return rig.messages.size() >= 3; }));
         server.kill(); // mid-sequence: the connection ends
         rig.markLoss();
         ASSERT_TRUE(rig.until([&] { return rig.state() == State::Waiting; }));
         ASSERT_TRUE(server.start());
         // From the restore on, every frame the taps saw reaches the transponder.
         simulator.framesIn();
         rig.tap.bytes.clear();
         ASSERT_TRUE(rig.until([&] { return rig.serial.Active(); }));
         QStringList frames;
         ASSERT_TRUE(rig.until([&] { return (frames += simulator.framesIn()).size() >= 3; }));
         EXPECT_EQ(frames.value(0), QStringLiteral("a=?")) << "Auto starts a fresh sequence at once";
         rig.autoRuns.reset();
         rig.until([&] { return framed(frames += simulator.framesIn()) == rig.tap.bytes; });
         rig.wire = framed(frames);
     },
     1, {500}, {"entry", "entry"}, "restored"},
};

// Real time is as exact as the machine: an attempt may come this much late.
constexpr std::uint64_t RealTimeSlackMs = 300;

::testing::AssertionResult onSchedule(const std::vector<std::uint64_t>& actual, const std::vector<std::uint64_t>& expected,
                                      bool realTime)
{
    bool same = actual.size() == expected.size();
    for (std::size_t i = 0; same && i < actual.size(); ++i)
        same = realTime ? actual[i] >= expected[i] && actual[i] <= expected[i] + RealTimeSlackMs : actual[i] == expected[i];
    if (same) return ::testing::AssertionSuccess();
    auto failure = ::testing::AssertionFailure() << "attempts at";
    for (const std::uint64_t at : actual) failure << " " << at;
    failure << " ms, expected";
    for (const std::uint64_t at : expected) failure << " " << at;
    return failure;
}

std::string describe(const Row& row)
{
    return std::string(row.transport) + " | " + row.fault;
}

} // namespace

TEST(LinkFaultMatrix, EachFaultGivesOneReportRetriesOnScheduleOpensOnlyTheEntryAndTapsWhatWentOut)
{
    for (const Row& row : Rows) {
        SCOPED_TRACE(describe(row));
        Rig rig(row.realTime);
        row.play(rig);
        EXPECT_EQ(rig.boxes.shown.size(), row.reports);
        EXPECT_TRUE(onSchedule(rig.attempts(), row.attempts, row.realTime));
        EXPECT_EQ(rig.openedNames(), row.opened);
        EXPECT_TRUE(rig.link.contains(QString::fromUtf8(row.status))) << rig.link.toStdString();
        EXPECT_EQ(rig.wire, rig.tap.bytes);
    }
}
