#pragma once

// The real main window against the simulated transponder, reached through
// ser2net: the simulator's pseudo-terminal is COM9 of the port directory,
// ser2net serves it on 127.0.0.1, and COM1 is a network entry naming ser2net.

#include "app/PanelStatusBar.h"
#include "framework/MessageBoxes.h"
#include "serial/Serial2.h"
#include "tests/testkit/EventLoopWait.h"
#include "tests/testkit/PortDirectory.h"
#include "tests/support/PanelControls.h"
#include "tests/testkit/Ser2netProcess.h"
#include "tests/testkit/SimulatorProcess.h"

#include <gtest/gtest.h>

#include <memory>

class PanelThroughSer2net : public PanelControls, public ::testing::WithParamInterface<Ser2netProcess::Accepter> {
public:
    static constexpr int SimulatorPort = 9;

    void start(const QStringList& simulatorOptions = {}, int serverBaud = 9600)
    {
        simulator = std::make_unique<SimulatorProcess>(SimulatorPort, QStringList{QStringLiteral("--log")} + simulatorOptions);
        ASSERT_TRUE(simulator->ready()) << "the simulator did not start";
        device = linkedDevice(QString::fromStdString(ports.entry(SimulatorPort)));
        ser2net = std::make_unique<Ser2netProcess>(device, GetParam(), serverBaud);
        ASSERT_TRUE(ser2net->start()) << "ser2net did not start: " << ser2net->output().toStdString();
        writeEntry(1, ser2net->entry() + QStringLiteral("\n"));
        form = std::make_unique<TForm1>();
        form->show();
    }

    // The link section of the status bar.
    QString link() const { return form->findChild<PanelStatusBar*>()->link(); }

    void writeEntry(int number, const QString& content) const { ports.write(number, content.toStdString()); }

    void TearDown() override
    {
        form.reset();
        ser2net.reset();
        simulator.reset();
    }

    PortDirectory ports;
    fw::ScopedRecordingMessageBoxes boxes;
    std::unique_ptr<SimulatorProcess> simulator;
    QString device;
    std::unique_ptr<Ser2netProcess> ser2net;
};

inline std::string accepterName(const ::testing::TestParamInfo<Ser2netProcess::Accepter>& info)
{
    return info.param == Ser2netProcess::Accepter::Rfc2217 ? "Rfc2217" : "RawTcp";
}
