#include "tests/testkit/PortDirectory.h"
#include "tests/testkit/PtyPair.h"
#include "framework/MessageBoxes.h"
#include "serial/Serial2.h"
#include "tests/testkit/EventLoopWait.h"
#include "tests/testkit/Ser2netProcess.h"

#include <QString>
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

using namespace std::string_literals;

// The serial component on a line that the test itself plays, through ser2net's
// telnet(rfc2217) accepter: every byte the test sees is one ser2net wrote to
// the line after our Telnet layer and its own.
TEST(Rfc2217ThroughSer2net, BytesOf0xFFCrossOnceInEachDirection)
{
    PortDirectory ports;
    PtyPair line;
    Ser2netProcess ser2net(QString::fromStdString(line.slavePath()), Ser2netProcess::Accepter::Rfc2217);
    ASSERT_TRUE(ser2net.start()) << ser2net.output().toStdString();
    std::ofstream(ports.path() + "/COM1") << ser2net.entry().toStdString() << "\n";

    fw::ScopedRecordingMessageBoxes boxes;
    TSerial serial;
    serial.setDataBits(d8bit);
    serial.setRxEventMode(rxMessage);
    std::vector<std::string> messages;
    serial.setOnMessage([&](QObject*, const std::string& message) { messages.push_back(message); });
    serial.setActive(true);
    ASSERT_TRUE(serial.Active()) << "error " << serial.ErrorCode();

    const std::string out = "\x02\xff\xff=\xff\x03"s;
    serial.SendString(out);
    EXPECT_EQ(line.receive(out.size() + 1, std::chrono::milliseconds(1000)), out);

    const std::string in = "\x02\xff=\xff\xff\x03"s;
    line.send(in);
    EXPECT_TRUE(runUntil([&] { return !messages.empty(); }, 2000));
    runFor(100);
    EXPECT_EQ(messages, std::vector<std::string>{in});
    EXPECT_TRUE(boxes.shown.empty());
    serial.setActive(false);
}
