#include "platform/TelnetCodec.h"

#include <gtest/gtest.h>

#include <string>

using platform::TelnetCodec;
using namespace std::string_literals;

namespace {

// Telnet bytes written as in the protocol's tables.
constexpr char IAC = '\xff', WILL = '\xfb', WONT = '\xfc', DO = '\xfd', DONT = '\xfe', SB = '\xfa', SE = '\xf0';
constexpr char BINARY = 0, ECHO = 1, SGA = 3, TTYPE = 24, COMPORT = 44;

std::string cmd(char verb, char option)
{
    return std::string{IAC, verb, option};
}

TelnetCodec client()
{
    return TelnetCodec({TelnetCodec::Binary, TelnetCodec::ComPort}, {TelnetCodec::Binary});
}

TelnetCodec::Received feed(TelnetCodec& codec, const std::string& bytes)
{
    TelnetCodec::Received received;
    codec.receive(bytes, received);
    return received;
}

} // namespace

TEST(TelnetCodec, AsksForBinaryBothWaysAndOffersTheComPortOption)
{
    TelnetCodec codec = client();
    EXPECT_EQ(codec.start(), cmd(WILL, BINARY) + cmd(DO, BINARY) + cmd(WILL, COMPORT));
    EXPECT_FALSE(codec.settled());
}

// The greeting a ser2net telnet(rfc2217) accepter sends: its offers cross our
// requests, which both sides take as agreement, and it asks for echo and
// go-ahead suppression, which we refuse.
TEST(TelnetCodec, TakesCrossingOffersAsAgreementAndRefusesTheRest)
{
    TelnetCodec codec = client();
    codec.start();
    const auto received = feed(codec, cmd(WILL, SGA) + cmd(DO, SGA) + cmd(WILL, ECHO) + cmd(DONT, ECHO)
                                          + cmd(DO, BINARY) + cmd(WILL, BINARY) + cmd(DO, COMPORT));
    EXPECT_EQ(received.reply, cmd(DONT, SGA) + cmd(WONT, SGA) + cmd(DONT, ECHO));
    EXPECT_TRUE(received.data.empty());
    EXPECT_TRUE(codec.settled());
    EXPECT_TRUE(codec.ours(TelnetCodec::Binary));
    EXPECT_TRUE(codec.his(TelnetCodec::Binary));
    EXPECT_TRUE(codec.ours(TelnetCodec::ComPort));
    EXPECT_FALSE(codec.his(TelnetCodec::Echo));
}

// Answers only change of state, so that two parties following the rules
// never loop: nothing for what is already so, one answer for a change.
TEST(TelnetCodec, AnswersOnlyAChangeOfState)
{
    const struct {
        const char* name;
        std::string input;
        std::string reply;
        bool binaryOurs;
        bool comPortOurs;
    } cases[] = {
        {"agreed, then asked again", cmd(DO, BINARY) + cmd(DO, BINARY) + cmd(DO, COMPORT), "", true, true},
        {"refused by him", cmd(DONT, BINARY) + cmd(DONT, COMPORT), "", false, false},
        {"a refusal repeated", cmd(DONT, COMPORT) + cmd(DONT, COMPORT), "", false, false},
        {"agreed, then withdrawn", cmd(DO, COMPORT) + cmd(DONT, COMPORT), cmd(WONT, COMPORT), false, false},
        {"withdrawn, then asked anew", cmd(DO, COMPORT) + cmd(DONT, COMPORT) + cmd(DO, COMPORT),
         cmd(WONT, COMPORT) + cmd(WILL, COMPORT), false, true},
        {"an unknown option twice", cmd(DO, TTYPE) + cmd(DO, TTYPE) + cmd(WILL, TTYPE),
         cmd(WONT, TTYPE) + cmd(WONT, TTYPE) + cmd(DONT, TTYPE), false, false},
        {"turning off what is off", cmd(DONT, ECHO) + cmd(WONT, ECHO), "", false, false},
    };
    for (const auto& c : cases) {
        TelnetCodec codec = client();
        codec.start();
        const auto received = feed(codec, c.input);
        EXPECT_EQ(received.reply, c.reply) << c.name;
        EXPECT_EQ(codec.ours(TelnetCodec::Binary), c.binaryOurs) << c.name;
        EXPECT_EQ(codec.ours(TelnetCodec::ComPort), c.comPortOurs) << c.name;
    }
}

TEST(TelnetCodec, DoublesEachIacGoingOut)
{
    EXPECT_EQ(TelnetCodec::escape("\x02" "a=\xff\x03"s), "\x02" "a=\xff\xff\x03"s);
    EXPECT_EQ(TelnetCodec::escape("\xff\xff"s), "\xff\xff\xff\xff"s);
    const std::string request{IAC, SB, COMPORT, 1, 0, 0, 0, IAC, IAC, IAC, SE};
    EXPECT_EQ(TelnetCodec::subnegotiation(TelnetCodec::ComPort, "\x01\x00\x00\x00\xff"s), request);
}

// Every way of cutting the stream in two gives the same data and the same
// subnegotiation: an IAC pair, a command or a subnegotiation may be split by
// any read.
TEST(TelnetCodec, UndoublesIacAndCollectsSubnegotiationsWhereverTheReadsSplitThem)
{
    const std::string stream = "\x02" "a=\xff\xff\x03"s + std::string{IAC, SB, COMPORT, 101, 0, 0, IAC, IAC, 1, IAC, SE}
        + cmd(WILL, SGA) + "x\xff\xffy"s;
    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
        TelnetCodec codec = client();
        auto received = feed(codec, stream.substr(0, cut));
        const auto rest = feed(codec, stream.substr(cut));
        received.data += rest.data;
        received.reply += rest.reply;
        received.subnegotiations.insert(received.subnegotiations.end(), rest.subnegotiations.begin(),
                                        rest.subnegotiations.end());
        EXPECT_EQ(received.data, "\x02" "a=\xff\x03x\xffy"s) << "cut at " << cut;
        EXPECT_EQ(received.reply, cmd(DONT, SGA)) << "cut at " << cut;
        ASSERT_EQ(received.subnegotiations.size(), 1u) << "cut at " << cut;
        EXPECT_EQ(received.subnegotiations[0].option, TelnetCodec::ComPort);
        const std::string payload{101, 0, 0, IAC, 1};
        EXPECT_EQ(received.subnegotiations[0].payload, payload);
    }
}

TEST(TelnetCodec, DropsCommandsWithoutMeaningHereAndSurvivesAMissingSe)
{
    TelnetCodec codec = client();
    // NOP, go-ahead, data mark, are-you-there: nothing to do, nothing to say.
    auto received = feed(codec, "a"s + std::string{IAC, '\xf1', IAC, '\xf9', IAC, '\xf2', IAC, '\xf6'} + "b");
    EXPECT_EQ(received.data, "ab");
    EXPECT_EQ(received.reply, "");
    // A subnegotiation cut short by another command ends there; the command
    // still counts and the data after it still arrives.
    received = feed(codec, std::string{IAC, SB, COMPORT, 107, 0x10} + cmd(WILL, ECHO) + "z");
    ASSERT_EQ(received.subnegotiations.size(), 1u);
    const std::string payload{107, 0x10};
    EXPECT_EQ(received.subnegotiations[0].payload, payload);
    EXPECT_EQ(received.reply, cmd(DONT, ECHO));
    EXPECT_EQ(received.data, "z");
}
