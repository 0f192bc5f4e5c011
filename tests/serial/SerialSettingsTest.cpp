#include "Pump.h"
#include "ScriptedDevice.h"
#include "tests/testkit/PortDirectory.h"
#include "tests/testkit/PtyPair.h"
#include "tests/testkit/Rfc2217Server.h"
#include "framework/MessageBoxes.h"
#include "serial/Serial2.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <functional>
#include <future>
#include <string>
#include <vector>

using fw::ScopedRecordingMessageBoxes;
using Calls = std::vector<std::string>;
using namespace std::string_literals;

TEST(TSerialSettings, AFreshComponentIsClosedWithItsDefaultsAndTouchesNoDevice)
{
    ScriptedPorts ports;
    {
        TSerial serial(nullptr, ports.factory());
        EXPECT_EQ(serial.Port(), 1);
        EXPECT_EQ(serial.Baudrate(), 9600);
        EXPECT_EQ(serial.Parity(), paNone);
        EXPECT_EQ(serial.DataBits(), d7bit);
        EXPECT_EQ(serial.StopBits(), st1bit);
        EXPECT_EQ(serial.RxQueueSize(), 1024);
        EXPECT_EQ(serial.TxQueueSize(), 1024);
        EXPECT_EQ(serial.FlowMode(), fcNone);
        EXPECT_TRUE(serial.CheckParity());
        EXPECT_EQ(serial.RxEventMode(), rxNormal);
        EXPECT_EQ(serial.MessageStartChar(), '\x02');
        EXPECT_EQ(serial.MessageEndChar(), '\x03');
        EXPECT_EQ(serial.MessageAppendCount(), 0);
        EXPECT_EQ(serial.NotifyErrors(), neDialog);
        EXPECT_EQ(serial.ErrorCode(), 0);
        EXPECT_FALSE(serial.DCDState());
        EXPECT_FALSE(serial.Active());
        EXPECT_EQ(serial.RxWaiting(), 0);
        EXPECT_EQ(serial.TxWaiting(), 0);
    }
    EXPECT_TRUE(ports.made.empty());
}

TEST(TSerialSettings, WritesReopenAnOpenPortOnlyWhenTheirRuleSaysSo)
{
    struct Case {
        const char* name;
        std::function<void(TSerial&)> write;
        bool reopens;
    };
    const Case cases[] = {
        {"same port", [](TSerial& s) { s.setPort(1); }, false},
        {"other port", [](TSerial& s) { s.setPort(2); }, true},
        {"same rate", [](TSerial& s) { s.setBaudrate(9600); }, false},
        {"other rate", [](TSerial& s) { s.setBaudrate(14400); }, true},
        {"same parity", [](TSerial& s) { s.setParity(paNone); }, false},
        {"other parity", [](TSerial& s) { s.setParity(paMark); }, true},
        {"same data bits", [](TSerial& s) { s.setDataBits(d7bit); }, false},
        {"other data bits", [](TSerial& s) { s.setDataBits(d8bit); }, true},
        {"same stop bits", [](TSerial& s) { s.setStopBits(st1bit); }, false},
        {"other stop bits", [](TSerial& s) { s.setStopBits(st2bit); }, true},
        {"same flow mode", [](TSerial& s) { s.setFlowMode(fcNone); }, false},
        {"other flow mode", [](TSerial& s) { s.setFlowMode(fcXON_XOF); }, true},
        {"same parity check", [](TSerial& s) { s.setCheckParity(true); }, false},
        {"other parity check", [](TSerial& s) { s.setCheckParity(false); }, true},
        {"same input queue size", [](TSerial& s) { s.setRxQueueSize(1024); }, true},
        {"same output queue size", [](TSerial& s) { s.setTxQueueSize(1024); }, true},
        {"message settings", [](TSerial& s) {
             s.setRxEventMode(rxMessage);
             s.setMessageStartChar('<');
             s.setMessageEndChar('>');
             s.setMessageAppendCount(2);
             s.setNotifyErrors(neNone);
         }, false},
        {"active again", [](TSerial& s) { s.setActive(true); }, true},
    };
    for (const Case& c : cases) {
        ScriptedPorts ports;
        TSerial serial(nullptr, ports.factory());
        serial.setActive(true);
        ASSERT_TRUE(serial.Active()) << c.name;
        c.write(serial);
        EXPECT_TRUE(serial.Active()) << c.name;
        EXPECT_EQ(ports.made.size(), c.reopens ? 2u : 1u) << c.name;
        EXPECT_EQ(serial.ErrorCode(), 0) << c.name;
    }
}

TEST(TSerialSettings, AClosedPortStaysClosedWhenASettingChanges)
{
    ScriptedPorts ports;
    TSerial serial(nullptr, ports.factory());
    serial.setPort(3);
    serial.setParity(paEven);
    serial.setRxQueueSize(1024);
    EXPECT_FALSE(serial.Active());
    EXPECT_TRUE(ports.made.empty());
    EXPECT_EQ(serial.Port(), 3);
    EXPECT_EQ(serial.Parity(), paEven);
}

TEST(TSerialSettings, ARateOutsideTheTableIsRefusedWithABox)
{
    ScriptedPorts ports;
    TSerial serial(nullptr, ports.factory());
    serial.setActive(true);
    for (int rate : {0, -9600, 10000, 14399, 230400}) {
        ScopedRecordingMessageBoxes boxes;
        serial.setBaudrate(rate);
        EXPECT_EQ(serial.Baudrate(), 9600) << rate;
        ASSERT_EQ(boxes.shown.size(), 1u) << rate;
        EXPECT_EQ(boxes.shown[0].text, QStringLiteral("Baudrate is not valid"));
        EXPECT_EQ(boxes.shown[0].caption, QStringLiteral("Error"));
        EXPECT_EQ(boxes.shown[0].icon, fw::MsgIcon::Error);
        EXPECT_EQ(boxes.shown[0].buttons, fw::MsgButtons::Ok);
    }
    EXPECT_EQ(ports.made.size(), 1u);
    for (int rate : {300, 600, 1200, 2400, 4800, 14400, 19200, 38400, 57600, 115200}) {
        ScopedRecordingMessageBoxes boxes;
        serial.setBaudrate(rate);
        EXPECT_EQ(serial.Baudrate(), rate);
        EXPECT_TRUE(boxes.shown.empty()) << rate;
    }
}

TEST(TSerialSettings, ApplySettingsBuildsTheDeviceControlRecord)
{
    struct Case {
        eFlowControl flow;
        bool checkParity;
        std::uint16_t rxQueue;
        std::uint32_t flags;
        std::uint16_t limit;
        std::uint32_t writeTimeout;
    };
    const Case cases[] = {
        {fcNone, true, 1024, 0x0003, 341, 0},
        {fcNone, false, 1024, 0x0001, 341, 0},
        {fcRTS_CTS, true, 1024, 0x2007, 341, 10000},
        {fcDTR_DSR, true, 1024, 0x002B, 341, 10000},
        {fcXON_XOF, false, 1024, 0x0301, 341, 10000},
        {fcNone, true, 1000, 0x0003, 333, 0},
    };
    for (const Case& c : cases) {
        ScriptedPorts ports;
        TSerial serial(nullptr, ports.factory());
        serial.setFlowMode(c.flow);
        serial.setCheckParity(c.checkParity);
        serial.setRxQueueSize(c.rxQueue);
        serial.setDataBits(d8bit);
        serial.setParity(paSpace);
        serial.setStopBits(st2bit);
        serial.setBaudrate(19200);
        serial.setActive(true);

        const platform::DeviceControl& record = serial.PortSettings();
        EXPECT_EQ(record.flags(), c.flags) << int(c.flow);
        EXPECT_EQ(record.XonLim, c.limit);
        EXPECT_EQ(record.XoffLim, c.limit);
        EXPECT_EQ(record.DCBlength, 28u);
        EXPECT_EQ(record.BaudRate, 19200u);
        EXPECT_EQ(record.ByteSize, 8);
        EXPECT_EQ(record.Parity, platform::SpaceParity);
        EXPECT_EQ(record.StopBits, platform::TwoStopBits);
        EXPECT_EQ(record.XonChar, '\x11');
        EXPECT_EQ(record.XoffChar, '\x13');
        EXPECT_EQ(record.ErrorChar, '?');
        EXPECT_EQ(record.EofChar, '\0');
        EXPECT_EQ(record.EvtChar, '\0');
        EXPECT_EQ(ports.last().settings().flags(), c.flags);

        const platform::CommTimeouts timeouts = ports.last().timeouts();
        EXPECT_EQ(timeouts.ReadIntervalTimeout, 0xFFFFFFFFu);
        EXPECT_EQ(timeouts.ReadTotalTimeoutMultiplier, 0u);
        EXPECT_EQ(timeouts.ReadTotalTimeoutConstant, 0u);
        EXPECT_EQ(timeouts.WriteTotalTimeoutConstant, c.writeTimeout);
    }
}

TEST(TSerialSettings, WriteTimeOutsOnceSetSurviveAReturnToNoFlowControl)
{
    ScriptedPorts ports;
    TSerial serial(nullptr, ports.factory());
    serial.setFlowMode(fcRTS_CTS);
    serial.setActive(true);
    serial.setFlowMode(fcNone);
    EXPECT_EQ(ports.last().timeouts().WriteTotalTimeoutConstant, 10000u);
    EXPECT_EQ(serial.PortSettings().flags(), 0x0003u);
}

TEST(TSerialSettings, OpeningAndClosingRunTheirStepsInOrder)
{
    ScriptedPorts ports;
    TSerial serial(nullptr, ports.factory());
    serial.setPort(4);
    serial.setActive(true);
    const Calls opening = {"open COM4", "setupQueues 1024 1024", "applySettings", "setTimeouts",
                           "DTR on", "RTS on", "setEventMask 0x17D"};
    EXPECT_EQ(ports.last().calls(), opening);

    serial.setActive(true); // reopens: the lines drop and rise again
    Calls closed = opening;
    for (const char* step : {"abort", "DTR off", "RTS off", "release", "close"}) closed.push_back(step);
    EXPECT_EQ(ports.made[0]->calls(), closed);
    EXPECT_EQ(ports.made[1]->calls(), opening);
    serial.setActive(false);
    EXPECT_EQ(ports.made[1]->calls(), closed);
    EXPECT_FALSE(serial.Active());
}

TEST(TSerialSettings, APortThatNamesNoDeviceIsReportedAsNotifyErrorsSays)
{
    PortDirectory noPorts; // so that no entry of the user's can map COM42
    struct Case {
        eNotifyErr mode;
        std::size_t boxes;
        int onError;
    };
    for (const Case& c : {Case{neDialog, 1, 0}, Case{neEvent, 0, 1}, Case{neNone, 0, 0}}) {
        ScopedRecordingMessageBoxes boxes;
        TSerial serial;
        int raised = 0;
        serial.setOnError([&](QObject* sender) {
            EXPECT_EQ(sender, &serial);
            ++raised;
        });
        serial.setNotifyErrors(c.mode);
        serial.setPort(42);
        serial.setActive(true);
        EXPECT_FALSE(serial.Active());
        EXPECT_EQ(serial.ErrorCode(), ENOENT);
        EXPECT_EQ(raised, c.onError);
        ASSERT_EQ(boxes.shown.size(), c.boxes);
        if (c.boxes == 1) {
            EXPECT_EQ(boxes.shown[0].text, QStringLiteral("No such file or directory"));
            EXPECT_EQ(boxes.shown[0].caption, QStringLiteral("Error"));
            EXPECT_EQ(boxes.shown[0].icon, fw::MsgIcon::Error);
        }
    }
}

TEST(TSerialSettings, AnErrorIsShownWithTheSystemText)
{
    ScriptedPorts ports;
    TSerial serial(nullptr, ports.factory());
    const struct {
        int code;
        const char* text;
    } cases[] = {
        {EBUSY, "Device or resource busy"},
        {EBADF, "Bad file descriptor"},
        {EIO, "Input/output error"},
        {99999, "Unknown error 99999"},
    };
    for (const auto& c : cases) {
        ScopedRecordingMessageBoxes boxes;
        serial.ShowError(c.code);
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_EQ(boxes.shown[0].text, QString::fromLatin1(c.text));
        EXPECT_EQ(boxes.shown[0].caption, QStringLiteral("Error"));
    }
}

TEST(TSerialSettings, WritesAndReadsOnAClosedPortAreReportedAtOnce)
{
    ScriptedPorts ports;
    TSerial serial(nullptr, ports.factory());
    ScopedRecordingMessageBoxes boxes;
    serial.SendString("\x02" "c=?\x03");
    serial.SendString("\x02" "c=?\x03");
    std::uint8_t value = 0;
    EXPECT_EQ(serial.ReadByte(value), 0);
    EXPECT_EQ(serial.ErrorCode(), EBADF);
    ASSERT_EQ(boxes.shown.size(), 3u);
    EXPECT_EQ(boxes.shown[0].text, QStringLiteral("Bad file descriptor"));
    EXPECT_TRUE(ports.made.empty());
}

TEST(TSerialSettings, SendStringWritesEveryByteWhateverItsLength)
{
    ScriptedPorts ports;
    TSerial serial(nullptr, ports.factory());
    serial.setActive(true);
    std::string text(1000, 'x');
    text[3] = '\0';
    text[999] = '\0';
    serial.SendString(text);
    serial.SendString("");
    EXPECT_EQ(ports.last().written(), text);
    EXPECT_EQ(serial.ErrorCode(), 0);
}

// The component sets the whole line, then raises DTR and after it RTS, as on
// a terminal; an RFC 2217 server takes each request in that order. Closing
// purges nothing.
TEST(TSerialSettings, OnAnRfc2217PortTheLineIsSetThenDtrThenRtsRiseAndClosingPurgesNothing)
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
    ScopedRecordingMessageBoxes boxes;
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
