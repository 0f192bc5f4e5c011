#include "tests/testkit/PortDirectory.h"
#include "tests/testkit/PtyPair.h"
#include "tests/testkit/Rfc2217Server.h"
#include "framework/MessageBoxes.h"
#include "serial/Serial2.h"
#include "tests/testkit/EventLoopWait.h"
#include "tests/testkit/Ser2netProcess.h"

#include <QString>
#include <gtest/gtest.h>

#include <fstream>
#include <future>
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

// The component sets the whole line, then raises DTR and after it RTS, as on
// a terminal; the server takes each request in that order. Closing purges nothing.
TEST(Rfc2217ThroughSer2net, TheLineIsSetThenDtrThenRtsRise)
{
    PortDirectory ports;
    Rfc2217Server server;
    std::ofstream(ports.path() + "/COM1") << "rfc2217://127.0.0.1:" << server.port() << "\n";
    auto served = std::async(std::launch::async, [&] {
        if (!server.accept()) return std::vector<std::string>{};
        std::vector<std::string> requests = server.receiveRequests(5);
        // Each is taken as asked.
        for (std::string answer : requests) server.sendComPort(answer.replace(0, 1, 1, static_cast<char>(answer[0] + 100)));
        for (const std::string& control : server.receiveRequests(2)) requests.push_back(control);
        return requests;
    });
    fw::ScopedRecordingMessageBoxes boxes;
    TSerial serial;
    serial.setDataBits(d8bit);
    serial.setActive(true);
    ASSERT_TRUE(serial.Active()) << "error " << serial.ErrorCode();
    EXPECT_EQ(served.get(), (std::vector<std::string>{"\x01\x00\x00\x25\x80"s, "\x02\x08"s, "\x03\x01"s, "\x04\x01"s,
                                                       "\x05\x01"s, "\x05\x08"s, "\x05\x0b"s}));
    serial.setActive(false);
    // Closing leaves the server's queues alone: no PURGE-DATA.
    for (const std::string& request : server.receiveRequests(3, std::chrono::milliseconds(500)))
        EXPECT_NE(request[0], '\x0c');
}
