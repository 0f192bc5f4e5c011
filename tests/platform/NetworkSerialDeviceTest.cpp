#include "tests/testkit/LoopbackServer.h"
#include "tests/testkit/PortDirectory.h"
#include "tests/testkit/PtyPair.h"
#include "tests/testkit/Rfc2217Server.h"
#include "platform/ClosingLinks.h"
#include "platform/ComPortDevice.h"
#include "platform/NetworkSerialDevice.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <functional>
#include <future>
#include <string>
#include <vector>

using namespace std::chrono_literals;
using namespace std::string_literals;
using platform::NetworkSerialDevice;

namespace {

constexpr std::uint32_t AllEvents = 0x17D;
// 9600 bit/s, 8N1, no flow control, as the panel's component asks for it.
const std::vector<std::string> PanelRequests = {"\x01\x00\x00\x25\x80"s, "\x02\x08"s, "\x03\x01"s, "\x04\x01"s, "\x05\x01"s};
const std::vector<std::string> PanelAnswers = {"\x65\x00\x00\x25\x80"s, "\x66\x08"s, "\x67\x01"s, "\x68\x01"s, "\x69\x01"s};

platform::DeviceControl panelLine()
{
    platform::DeviceControl settings;
    settings.BaudRate = 9600;
    settings.fBinary = true;
    settings.ByteSize = 8;
    return settings;
}

class NetworkSerialDeviceTest : public ::testing::Test {
protected:
    // A server that is done ends its side, as ser2net does when we end ours;
    // closing the device then need not wait for it.
    void TearDown() override
    {
        server.closeConnection();
        telnet.closeConnection();
        if (device.isOpen()) device.close();
    }

    void writeEntry(const std::string& content)
    {
        std::ofstream(ports.path() + "/COM7") << content;
    }

    // Opens COM7 as tcp:// or rfc2217:// on the server, playing the server's
    // side of the Telnet negotiation and of the line settings.
    void open(const char* scheme)
    {
        const bool rfc2217 = std::string(scheme) == "rfc2217";
        writeEntry(std::string(scheme) + "://127.0.0.1:" + std::to_string(rfc2217 ? telnet.port() : server.port()) + "\n");
        auto opened = std::async(std::launch::async, [this] { return device.open("COM7"); });
        ASSERT_TRUE(rfc2217 ? telnet.accept() : server.accept());
        ASSERT_EQ(opened.get(), 0) << device.diagnosis();
        ASSERT_EQ(device.setEventMask(AllEvents), 0);
    }

    // Applies the panel's line and answers it with `answers`.
    int applyAnswered(const std::vector<std::string>& answers)
    {
        auto applied = std::async(std::launch::async, [this] { return device.applySettings(panelLine()); });
        EXPECT_EQ(telnet.receiveRequests(PanelRequests.size()), PanelRequests);
        for (const std::string& answer : answers) telnet.sendComPort(answer);
        return applied.get();
    }

    // Waits and reads until `count` bytes have come or two seconds have passed.
    std::string receive(std::size_t count)
    {
        std::string got;
        const auto deadline = std::chrono::steady_clock::now() + 2s;
        while (got.size() < count && std::chrono::steady_clock::now() < deadline) {
            std::uint32_t events = 0;
            EXPECT_EQ(device.wait(events), 0);
            char buffer[64];
            std::size_t read = 0;
            EXPECT_EQ(device.read(buffer, sizeof buffer, read), 0);
            got.append(buffer, read);
        }
        return got;
    }

    PortDirectory ports;
    LoopbackServer server;
    Rfc2217Server telnet;
    NetworkSerialDevice device;
};

} // namespace

TEST_F(NetworkSerialDeviceTest, RawTcpCarriesEveryByteBothWaysAndLeavesTheLineToTheServer)
{
    open("tcp");
    const std::string frame = "\x02" "a=\xff\x00\x03"s;
    EXPECT_EQ(device.applySettings(panelLine()), 0);
    EXPECT_EQ(device.setControlLine(platform::ControlLine::Dtr, true), 0);
    ASSERT_EQ(device.write(frame.data(), frame.size(), 1000), 0);
    // Nothing but the frame went out: no settings, no control lines.
    EXPECT_EQ(server.receive(frame.size() + 1, 200ms), frame);

    server.send("\x02" "c=\xff\xff\x03"s);
    EXPECT_EQ(receive(6), "\x02" "c=\xff\xff\x03"s);
}

TEST_F(NetworkSerialDeviceTest, Rfc2217SetsTheLineAndChecksTheServersAnswers)
{
    open("rfc2217");
    EXPECT_EQ(applyAnswered(PanelAnswers), 0) << device.diagnosis();
    EXPECT_EQ(device.diagnosis(), "");

    // A server that keeps its own rate and parity says so in its answers.
    EXPECT_EQ(applyAnswered({"\x65\x00\x01\xc2\x00"s, "\x66\x08"s, "\x67\x03"s, "\x68\x01"s, "\x69\x01"s}), EINVAL);
    EXPECT_EQ(device.diagnosis(), "COM7 (127.0.0.1:" + std::to_string(telnet.port())
                                      + "): the server set 115200 bit/s instead of 9600 bit/s, even parity instead of "
                                        "no parity");
}

TEST_F(NetworkSerialDeviceTest, Rfc2217DoublesIacOutAndUndoublesItInAcrossReads)
{
    open("rfc2217");
    const std::string frame = "\x02" "z=\xff\x03"s;
    ASSERT_EQ(device.write(frame.data(), frame.size(), 1000), 0);
    EXPECT_EQ(telnet.receiveData(5), frame);

    // The doubled IAC is cut between two reads.
    telnet.send("\x02" "z=\xff"s);
    std::string got = receive(3);
    telnet.send("\xff\x03"s);
    got += receive(2);
    EXPECT_EQ(got, "\x02" "z=\xff\x03"s);
}

TEST_F(NetworkSerialDeviceTest, Rfc2217SendsDtrAndRtsWithoutWaitingForAnAnswer)
{
    open("rfc2217");
    EXPECT_EQ(device.setControlLine(platform::ControlLine::Dtr, true), 0);
    EXPECT_EQ(device.setControlLine(platform::ControlLine::Rts, true), 0);
    EXPECT_EQ(device.setControlLine(platform::ControlLine::Dtr, false), 0);
    EXPECT_EQ(telnet.receiveRequests(3), (std::vector<std::string>{"\x05\x08"s, "\x05\x0b"s, "\x05\x09"s}));
}

TEST_F(NetworkSerialDeviceTest, AConnectionThatEndsIsReportedOnceAfterTheBytesBeforeIt)
{
    open("rfc2217");
    telnet.send("\x02" "s=a\x03"s);
    telnet.closeConnection();

    EXPECT_EQ(receive(5), "\x02" "s=a\x03"s);
    std::uint32_t events = 0;
    EXPECT_EQ(device.wait(events), ECONNRESET);
    const char byte = 'x';
    EXPECT_EQ(device.write(&byte, 1, 1000), ECONNRESET);

    // Once told, the wait blocks until it is released: no report again, no spin.
    auto waiting = std::async(std::launch::async, [this] {
        std::uint32_t events = 0;
        return std::make_pair(device.wait(events), events);
    });
    EXPECT_EQ(waiting.wait_for(100ms), std::future_status::timeout);
    device.release();
    ASSERT_EQ(waiting.wait_for(2s), std::future_status::ready);
    EXPECT_EQ(waiting.get(), std::make_pair(0, 0u));
    EXPECT_EQ(device.close(), 0);
}

TEST_F(NetworkSerialDeviceTest, OpeningFailsWithTheSystemsCodeAndSaysWhy)
{
    const std::string nobody = std::to_string(unusedLoopbackPort());
    const std::string entry = ports.path() + "/COM7";
    const std::string raw = "127.0.0.1:" + std::to_string(server.port());
    const struct {
        std::string content;
        int error;
        std::string diagnosis;
        std::size_t flood = 0; // what the server sends at once when it accepts, as a raw accepter's device does
    } cases[] = {
        {"tcp://127.0.0.1:" + nobody, ECONNREFUSED, "COM7 (127.0.0.1:" + nobody + "): nothing listens at 127.0.0.1:" + nobody},
        {"rfc2217://" + raw, EPROTONOSUPPORT,
         "COM7 (" + raw + "): the server sent data instead of agreeing to RFC 2217: its accepter is raw (write tcp://), "
         "or the port is another service's", 3000},
        {"tcp://127.0.0.1", EINVAL, "COM7: the port entry " + entry + ", line 1 \"tcp://127.0.0.1\": no port: write tcp://HOST:PORT"},
        {"serial://127.0.0.1:1", EINVAL,
         "COM7: the port entry " + entry + ", line 1 \"serial://127.0.0.1:1\": unknown scheme 'serial': use tcp:// or rfc2217://"},
    };
    for (const auto& c : cases) {
        writeEntry(c.content);
        auto opened = std::async(std::launch::async, [this] { return device.open("COM7"); });
        if (c.flood > 0) {
            ASSERT_TRUE(server.accept());
            server.send(std::string(c.flood, 'x'));
        }
        EXPECT_EQ(opened.get(), c.error) << c.content;
        EXPECT_EQ(device.diagnosis(), c.diagnosis) << c.content;
        EXPECT_FALSE(device.isOpen()) << c.content;
    }
}

// A host's name is looked up, by the system's resolver or by a table in its
// place, and its addresses are raced: one that never answers costs a moment,
// not the whole time limit (which would fail the opening).
TEST_F(NetworkSerialDeviceTest, AHostsNameIsLookedUpAndItsAddressesRaced)
{
    const std::string port = std::to_string(server.port());
    SilentListener away("127.0.0.2", server.port());
    const platform::HostTable table = [](const std::string& host) {
        return host == "twofold.test" ? std::vector<std::string>{"127.0.0.2", "127.0.0.1"} : std::vector<std::string>{};
    };
    const struct {
        const char* host;
        bool byTable;
        int error;
        std::string diagnosis;
    } rows[] = {
        {"localhost", false, 0, ""},
        {"twofold.test", true, 0, ""},
        {"nowhere.test", true, EHOSTUNREACH,
         "COM7 (nowhere.test:" + port + "): the host nowhere.test is unknown: Name or service not known"},
    };
    for (const auto& row : rows) {
        NetworkSerialDevice named;
        if (row.byTable) named.setHosts(table);
        writeEntry(std::string("tcp://") + row.host + ":" + port);
        auto opened = std::async(std::launch::async, [&named] { return named.open("COM7"); });
        if (row.error == 0) {
            EXPECT_TRUE(server.accept()) << row.host;
        }
        EXPECT_EQ(opened.get(), row.error) << row.host << ": " << named.diagnosis();
        EXPECT_EQ(named.diagnosis(), row.diagnosis) << row.host;
        // Whatever the name, the address connected to is this machine's.
        EXPECT_FALSE(named.plainToAnotherHost()) << row.host;
        server.closeConnection();
        named.close();
    }
}

// A server whose Telnet greeting and answers come, but which refuses the
// COM-PORT-OPTION: the line could not be set, so the opening fails.
TEST_F(NetworkSerialDeviceTest, ATelnetServerWithoutRfc2217IsRefused)
{
    writeEntry("rfc2217://127.0.0.1:" + std::to_string(server.port()));
    auto opened = std::async(std::launch::async, [this] { return device.open("COM7"); });
    ASSERT_TRUE(server.accept());
    server.send("\xff\xfd\x00\xff\xfb\x00\xff\xfe\x2c"s); // DO BINARY, WILL BINARY, DONT COM-PORT
    EXPECT_EQ(opened.get(), EPROTONOSUPPORT);
    EXPECT_NE(device.diagnosis().find("refuses RFC 2217"), std::string::npos) << device.diagnosis();
}

TEST_F(NetworkSerialDeviceTest, TellsWhenTheServerHasTakenEverythingWritten)
{
    open("tcp");
    const std::string frame = "\x02" "s=?\x03"s;
    ASSERT_EQ(device.write(frame.data(), frame.size(), 1000), 0);
    std::uint32_t events = 0;
    ASSERT_EQ(device.wait(events), 0);
    EXPECT_EQ(events, platform::EvTxEmpty);
    platform::CommStatus status;
    EXPECT_EQ(device.queueCounts(status), 0);
    EXPECT_EQ(status.cbOutQue, 0u);
}

// A server that has stopped reading: what writes cannot hand over is kept up
// to UnsentLimit and the first drop is told, once; closing hands the
// connection over without waiting for the server, and opening again waits
// until the server has let our closing connection go.
TEST_F(NetworkSerialDeviceTest, AServerThatStopsReadingCostsBoundedOutputAndNeverAWaitingClose)
{
    open("tcp");
    const std::string block(256 * 1024, 'x');
    std::vector<int> errors;
    std::size_t taken = 0;
    while (errors.size() < 200 && (errors.empty() || errors.back() != ENOBUFS))
        errors.push_back(device.write(block.data(), block.size(), 20, taken));
    ASSERT_EQ(errors.back(), ENOBUFS) << "a server that reads nothing fills no bound";
    EXPECT_LT(taken, block.size()) << "the dropped rest counts as not taken";
    for (int write = 0; write < 8; ++write)
        EXPECT_NE(device.write(block.data(), block.size(), 20, taken), ENOBUFS) << "the drop is told once";
    const std::string peer = "127.0.0.1:" + std::to_string(server.port());

    EXPECT_EQ(device.close(), 0);
    EXPECT_TRUE(platform::ClosingLinks::closing(peer)) << "closing waited for the server";
    server.closeConnection();
    open("tcp");
    EXPECT_FALSE(platform::ClosingLinks::closing(peer)) << "opening did not wait for our own closing";
}

TEST(ComPortDevice, OpensATerminalOrANetworkPortByItsEntry)
{
    PortDirectory ports;
    PtyPair pty;
    LoopbackServer server;
    ports.map(3, pty.slavePath());
    std::ofstream(ports.path() + "/COM4") << "tcp://127.0.0.1:" << server.port() << "\n";

    platform::ComPortDevice terminal;
    ASSERT_EQ(terminal.open("COM3"), 0);
    EXPECT_EQ(terminal.write("t", 1, 1000), 0);
    EXPECT_EQ(pty.receive(1), "t");

    platform::ComPortDevice network;
    ASSERT_EQ(network.open("COM4"), 0);
    ASSERT_TRUE(server.accept());
    EXPECT_EQ(network.write("n", 1, 1000), 0);
    EXPECT_EQ(server.receive(1), "n");
    server.closeConnection();
    EXPECT_EQ(network.close(), 0);
    EXPECT_EQ(terminal.close(), 0);
}

// What an RFC 2217 server tells and asks its client, one row each: the client
// has asked to be told of breaks and modem lines, and holds and resumes its
// output as the server says.
TEST_F(NetworkSerialDeviceTest, Rfc2217ServerNotificationsAndRequestsAreHonoured)
{
    const struct {
        const char* what;
        std::function<void()> play;
    } rows[] = {
        {"the masks ask for breaks and every modem line, and a break is told",
         [this] {
             EXPECT_EQ(telnet.receiveMasks(2), (std::vector<std::string>{"\x0a\x10"s, "\x0b\xff"s}));
             telnet.sendComPort("\x6a\x10"s); // NOTIFY-LINESTATE: break
             std::uint32_t events = 0;
             EXPECT_EQ(device.wait(events), 0);
             EXPECT_EQ(events, platform::EvBreak);
         }},
        {"a modem line that changes is told with its state",
         [this] {
             telnet.sendComPort("\x6b\x11"s); // NOTIFY-MODEMSTATE: CTS on, changed
             std::uint32_t events = 0;
             EXPECT_EQ(device.wait(events), 0);
             EXPECT_EQ(events, platform::EvCts);
             std::uint32_t status = 0;
             EXPECT_EQ(device.modemStatus(status), 0);
             EXPECT_EQ(status, platform::MsCtsOn);
         }},
        {"flow suspended holds our output until it resumes",
         [this] {
             telnet.sendComPort("\x6c"s); // FLOWCONTROL-SUSPEND
             // A notification after it shows that it has arrived.
             telnet.sendComPort("\x6b\x11"s);
             std::uint32_t events = 0;
             EXPECT_EQ(device.wait(events), 0);
             std::size_t taken = 0;
             EXPECT_EQ(device.write("held", 4, 100, taken), ETIMEDOUT);
             EXPECT_EQ(taken, 4u);
             EXPECT_EQ(telnet.receiveData(4, 200ms), "");
             telnet.sendComPort("\x6d"s); // FLOWCONTROL-RESUME
             EXPECT_EQ(telnet.receiveData(4), "held");
         }},
        {"a PURGE-DATA from the server answers a client's purge: nothing unread is dropped",
         [this] {
             telnet.send("unread");
             telnet.sendComPort("\x70\x01"s);
             telnet.send("after");
             EXPECT_EQ(receive(11), "unreadafter");
         }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        open("rfc2217");
        row.play();
        telnet.closeConnection();
        device.close();
    }
}
