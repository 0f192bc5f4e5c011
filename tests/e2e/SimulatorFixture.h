#pragma once

// The real main window against the simulated transponder (tools/xpdrsim) on a
// pseudo-terminal, in real time: Qt's timers, the real idle event and the real
// serial component. The simulator logs every frame, so tests see the wire.

#include "tests/support/PanelControls.h"
#include "framework/MessageBoxes.h"
#include "framework/RadioGroup.h"
#include "serial/Serial2.h"
#include "tests/testkit/EventLoopWait.h"
#include "tests/testkit/PortDirectory.h"
#include "tests/testkit/SimulatorProcess.h"
#include "widgets/AbLED.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include <memory>

class PanelAgainstSimulator : public PanelControls {
public:
    void start(const QStringList& options = {})
    {
        simulator = std::make_unique<SimulatorProcess>(1, QStringList{QStringLiteral("--log")} + options);
        ASSERT_TRUE(simulator->ready()) << "the simulator did not start";
        form = std::make_unique<TForm1>();
        form->show();
    }
    void TearDown() override
    {
        form.reset();
        simulator.reset();
    }

    PortDirectory ports;
    fw::ScopedRecordingMessageBoxes boxes;
    std::unique_ptr<SimulatorProcess> simulator;
};
