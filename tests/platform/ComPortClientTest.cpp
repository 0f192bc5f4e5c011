#include "platform/ComPortClient.h"

#include <gtest/gtest.h>

#include <string>

using platform::ComPortClient;
using platform::LineSettings;
using namespace std::string_literals;

namespace {

constexpr char IAC = '\xff', SB = '\xfa', SE = '\xf0', COMPORT = 44;

std::string sb(const std::string& payload)
{
    return std::string{IAC, SB, COMPORT} + payload + std::string{IAC, SE};
}

LineSettings panelLine()
{
    LineSettings line;
    line.baud = 9600;
    line.dataBits = 8;
    return line;
}

// The server's answer to a request: the command plus 100, and the value.
std::string answer(int command, const std::string& value)
{
    return std::string(1, static_cast<char>(command + 100)) + value;
}

void answerAll(ComPortClient& client, const std::string& baud = "\x00\x00\x25\x80"s)
{
    client.receive(answer(1, baud));
    client.receive(answer(2, "\x08"));
    client.receive(answer(3, "\x01"));
    client.receive(answer(4, "\x01"));
    client.receive(answer(5, "\x01"));
}

} // namespace

TEST(ComPortClient, RequestsTheWholeLineInTheProtocolsCodes)
{
    ComPortClient client;
    EXPECT_EQ(client.requestLine(panelLine()),
              sb("\x01\x00\x00\x25\x80"s) + sb("\x02\x08"s) + sb("\x03\x01"s) + sb("\x04\x01"s) + sb("\x05\x01"s));

    // Each parity, stop size and flow control has its own code; a rate whose
    // bytes hold 0xFF is escaped inside the subnegotiation.
    LineSettings line = panelLine();
    line.baud = 0x1FF;
    line.dataBits = 7;
    line.parity = LineSettings::Parity::Space;
    line.stopBits = LineSettings::StopBits::Two;
    line.ctsFlow = true;
    EXPECT_EQ(client.requestLine(line),
              sb("\x01\x00\x00\x01\xff\xff"s) + sb("\x02\x07"s) + sb("\x03\x05"s) + sb("\x04\x02"s) + sb("\x05\x03"s));
    line.ctsFlow = false;
    line.xonXoffOut = line.xonXoffIn = true;
    line.parity = LineSettings::Parity::Mark;
    EXPECT_EQ(client.requestLine(line),
              sb("\x01\x00\x00\x01\xff\xff"s) + sb("\x02\x07"s) + sb("\x03\x04"s) + sb("\x04\x02"s) + sb("\x05\x02"s));

    EXPECT_EQ(ComPortClient::requestControlLine(true, true), sb("\x05\x08"s));
    EXPECT_EQ(ComPortClient::requestControlLine(true, false), sb("\x05\x09"s));
    EXPECT_EQ(ComPortClient::requestControlLine(false, true), sb("\x05\x0b"s));
    EXPECT_EQ(ComPortClient::requestControlLine(false, false), sb("\x05\x0c"s));
}

TEST(ComPortClient, ChecksEachAnswerAgainstWhatWasAsked)
{
    ComPortClient taken;
    taken.requestLine(panelLine());
    EXPECT_FALSE(taken.lineAnswered());
    answerAll(taken);
    EXPECT_TRUE(taken.lineAnswered());
    EXPECT_EQ(taken.lineRefusals(), "");

    ComPortClient refused;
    refused.requestLine(panelLine());
    refused.receive(answer(1, "\x00\x01\xc2\x00"s));
    refused.receive(answer(2, "\x08"));
    refused.receive(answer(3, "\x03"));
    refused.receive(answer(4, "\x01"));
    EXPECT_FALSE(refused.lineAnswered());
    // DTR and RTS answers share the command of flow control; they are not its answer.
    refused.receive(answer(5, "\x08"));
    refused.receive(answer(5, "\x0b"));
    EXPECT_FALSE(refused.lineAnswered());
    refused.receive(answer(5, "\x10"));
    EXPECT_TRUE(refused.lineAnswered());
    EXPECT_EQ(refused.lineRefusals(), "115200 bit/s instead of 9600 bit/s, even parity instead of no parity, "
                                      "flow control code 16 instead of flow control code 1");
}

TEST(ComPortClient, TakesALateAnswerForTheRequestItAnswers)
{
    ComPortClient client;
    LineSettings first = panelLine();
    first.baud = 19200;
    client.requestLine(first);
    client.requestLine(panelLine());
    // Both requests are answered in order; only the second answer counts.
    answerAll(client, "\x00\x00\x4b\x00"s);
    EXPECT_FALSE(client.lineAnswered());
    answerAll(client);
    EXPECT_TRUE(client.lineAnswered());
    EXPECT_EQ(client.lineRefusals(), "");
    // An answer nobody asked for changes nothing.
    client.receive(answer(1, "\x00\x00\x4b\x00"s));
    EXPECT_EQ(client.lineRefusals(), "");
}

TEST(ComPortClient, TurnsModemAndLineNotificationsIntoEvents)
{
    using namespace platform;
    ComPortClient client;
    const struct {
        std::string notification;
        std::uint32_t events;
        std::uint32_t status;
    } steps[] = {
        {answer(7, "\x00"), 0, 0},                                  // nothing changed
        {answer(7, "\x11"), EvCts, MsCtsOn},                        // CTS up, with its delta
        {answer(7, "\xb0"), EvDsr | EvRlsd, MsCtsOn | MsDsrOn | MsRlsdOn},
        {answer(7, "\xb2"), EvDsr, MsCtsOn | MsDsrOn | MsRlsdOn},   // DSR went and came back
        {answer(7, "\xf4"), EvRing, MsCtsOn | MsDsrOn | MsRlsdOn | MsRingOn},
        {answer(6, "\x10"), EvBreak, MsCtsOn | MsDsrOn | MsRlsdOn | MsRingOn},
        {answer(6, "\x01"), 0, MsCtsOn | MsDsrOn | MsRlsdOn | MsRingOn}, // data ready is no event
    };
    for (const auto& step : steps) {
        client.receive(step.notification);
        EXPECT_EQ(client.takeEvents(), step.events);
        EXPECT_EQ(client.modemStatus(), step.status);
    }
}
