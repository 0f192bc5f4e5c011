#pragma once

// The real main window against the simulated transponder (tools/xpdrsim) on a
// pseudo-terminal, in real time: Qt's timers, the real idle event and the real
// serial component. The simulator logs every frame, so tests see the wire.

#include "app/uavMain.h"
#include "framework/MessageBoxes.h"
#include "framework/RadioGroup.h"
#include "serial/Serial2.h"
#include "tests/support/EventLoopWait.h"
#include "tests/support/SimulatorProcess.h"
#include "widgets/AbLED.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include <memory>

class PanelAgainstSimulator : public ::testing::Test {
public:
    void start(const QStringList& options = {})
    {
        ASSERT_TRUE(ports.isValid());
        qputenv("UAVCONTROL_PORTS", ports.path().toLocal8Bit());
        simulator = std::make_unique<SimulatorProcess>(1, QStringList{QStringLiteral("--log")} + options);
        ASSERT_TRUE(simulator->ready()) << "the simulator did not start";
        form = std::make_unique<TForm1>();
        form->show();
    }
    void TearDown() override
    {
        form.reset();
        simulator.reset();
        qunsetenv("UAVCONTROL_PORTS");
    }

    template <class T = QWidget>
    T* find(const char* name) const
    {
        T* widget = form->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QString textOf(const char* label) const { return find<QLabel>(label)->text(); }
    void click(const char* button) { QTest::mouseClick(find<QAbstractButton>(button), Qt::LeftButton); }

    QTemporaryDir ports;
    fw::ScopedRecordingMessageBoxes boxes;
    std::unique_ptr<SimulatorProcess> simulator;
    std::unique_ptr<TForm1> form;
};
