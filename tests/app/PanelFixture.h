#pragma once

// A main window wired to a pseudo-terminal that stands in for the transponder:
// the test holds the master side and sees exactly the bytes on the wire. Timers
// run on a virtual clock, message boxes are recorded, idle calls are explicit.

#include "tests/support/PanelControls.h"
#include "tests/testkit/PortDirectory.h"
#include "tests/testkit/PtyPair.h"
#include "framework/Application.h"
#include "framework/MessageBoxes.h"
#include "framework/VirtualClock.h"
#include "serial/Serial2.h"
#include "widgets/AbLED.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

class PanelTest : public PanelControls {
public:
    void SetUp() override
    {
        // Raw on the master's side too: the bytes the panel writes arrive unchanged.
        termios raw{};
        tcgetattr(slaveKeeper, &raw);
        cfmakeraw(&raw);
        tcsetattr(slaveKeeper, TCSANOW, &raw);
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
        ports.map(1, line.slavePath());
        form = std::make_unique<TForm1>();
    }

    void TearDown() override
    {
        form.reset();
    }

    TAbLED* lamp(const char* name) const { return find<TAbLED>(name); }

    void connectPort(const QString& port = QStringLiteral("1"))
    {
        find<QLineEdit>("edCommPort")->setText(port);
        click("btnConnect");
    }
    void idle() { fw::Application::instance().idle(); }

    // Everything the panel has written since the last call, waiting until the line
    // has been quiet for settleMs (0: only what is readable now).
    std::string wire(int settleMs = 30)
    {
        std::string bytes;
        char buffer[256];
        if (settleMs == 0) {
            ssize_t n;
            while ((n = read(master, buffer, sizeof buffer)) > 0) bytes.append(buffer, static_cast<size_t>(n));
            return bytes;
        }
        QElapsedTimer quiet;
        quiet.start();
        while (quiet.elapsed() < settleMs) {
            pollfd p{master, POLLIN, 0};
            if (poll(&p, 1, 5) > 0) {
                const ssize_t n = read(master, buffer, sizeof buffer);
                if (n > 0) {
                    bytes.append(buffer, static_cast<size_t>(n));
                    quiet.restart();
                }
            }
        }
        return bytes;
    }

    // Sends frames as the transponder would and waits until the window holds them.
    void reply(const std::vector<std::string>& contents)
    {
        std::string bytes;
        for (const std::string& c : contents) bytes += '\x02' + c + '\x03';
        sendRaw(bytes, contents.size());
    }
    void reply(const std::string& content) { reply(std::vector<std::string>{content}); }
    void sendRaw(const std::string& bytes, size_t messages)
    {
        const size_t before = form->PendingMessageCount();
        ASSERT_EQ(write(master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        QElapsedTimer waited;
        waited.start();
        while (form->PendingMessageCount() < before + messages && waited.elapsed() < 2000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        ASSERT_EQ(form->PendingMessageCount(), before + messages) << "messages did not arrive";
    }

    static std::string framed(const std::string& content) { return '\x02' + content + '\x03'; }

    PortDirectory ports;
    PtyPair line;
    // The line's master side, and a slave descriptor of the line's own that keeps
    // it from hanging up between the panel's openings.
    const int master = line.master();
    const int slaveKeeper = line.slaveHolder();
    fw::ScopedVirtualClock clock;
    fw::ScopedRecordingMessageBoxes boxes;
};
