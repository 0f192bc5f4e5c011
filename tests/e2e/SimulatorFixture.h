#pragma once

// The real main window against the simulated transponder (tools/xpdrsim) on a
// pseudo-terminal, in real time: Qt's timers, the real idle event and the real
// serial component. The simulator logs every frame, so tests see the wire.

#include "app/uavMain.h"
#include "framework/MessageBoxes.h"
#include "framework/RadioGroup.h"
#include "serial/Serial2.h"
#include "widgets/AbLED.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

class Simulator {
public:
    Simulator(const QString& ports, const QStringList& options)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("UAVCONTROL_PORTS"), ports);
        process_.setProcessEnvironment(env);
        process_.start(QStringLiteral(XPDRSIM_PATH), QStringList{"--link", "COM1", "--log"} + options);
        // Ready once it has named its device.
        ready_ = process_.waitForStarted(5000) && process_.waitForReadyRead(5000) &&
                 process_.readLine().startsWith("xpdrsim: COM1");
    }
    ~Simulator() { stop(); }

    bool ready() const { return ready_; }
    void stop()
    {
        if (process_.state() == QProcess::NotRunning) return;
        process_.terminate();
        process_.waitForFinished(5000);
    }
    void kill()
    {
        process_.kill();
        process_.waitForFinished(5000);
    }

    // The frames on the line since the last call, in order, as "in s=?" and
    // "out s=t" (received and sent by the simulator).
    QStringList frames()
    {
        log_ += QString::fromLatin1(process_.readAllStandardError());
        QStringList frames;
        qsizetype end;
        while ((end = log_.indexOf(u'\n')) >= 0) {
            const QString line = log_.left(end);
            log_.remove(0, end + 1);
            for (const char* direction : {"in", "out"}) {
                const QString marker = QStringLiteral(" %1 ").arg(QLatin1String(direction));
                const qsizetype at = line.indexOf(marker);
                const qsizetype stx = line.indexOf(QStringLiteral("<STX>"), at);
                if (at < 0 || stx < 0 || !line.endsWith(QStringLiteral("<ETX>"))) continue;
                frames << QLatin1String(direction) + u' ' + line.mid(stx + 5).chopped(5);
            }
        }
        return frames;
    }
    // Only the frames the simulator received, as "s=?".
    QStringList framesIn()
    {
        QStringList in;
        for (const QString& frame : frames())
            if (frame.startsWith(QStringLiteral("in "))) in << frame.mid(3);
        return in;
    }

private:
    QProcess process_;
    QString log_;
    bool ready_ = false;
};

class PanelAgainstSimulator : public ::testing::Test {
public:
    void start(const QStringList& options = {})
    {
        ASSERT_TRUE(ports.isValid());
        qputenv("UAVCONTROL_PORTS", ports.path().toLocal8Bit());
        simulator = std::make_unique<Simulator>(ports.path(), options);
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

    // Runs the window's event loop (idle calls included) until `done` or the time is up.
    bool runUntil(const std::function<bool()>& done, int timeoutMs)
    {
        QElapsedTimer elapsed;
        elapsed.start();
        QEventLoop loop;
        QTimer check;
        QObject::connect(&check, &QTimer::timeout, [&] {
            if (done() || elapsed.elapsed() > timeoutMs) loop.quit();
        });
        check.start(5);
        if (!done()) loop.exec();
        return done();
    }
    void runFor(int ms)
    {
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
    }

    QTemporaryDir ports;
    fw::ScopedRecordingMessageBoxes boxes;
    std::unique_ptr<Simulator> simulator;
    std::unique_ptr<TForm1> form;
};
