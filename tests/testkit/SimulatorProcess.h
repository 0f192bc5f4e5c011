#pragma once

#include "tests/testkit/ChildProcess.h"

#include <QString>
#include <QStringList>

// The simulated transponder (tools/xpdrsim) as a child process, linked as
// COM<port> into the port directory that UAVCONTROL_PORTS names in this process's
// environment.
//
// With "--log" among the options its frame log comes through a pipe and frames()
// reads it; with a log file it goes there instead, so that reading it costs the
// caller nothing while it is being measured.
class SimulatorProcess {
public:
    SimulatorProcess(int port, const QStringList& options, const QString& logFile = {});
    ~SimulatorProcess();
    SimulatorProcess(const SimulatorProcess&) = delete;
    SimulatorProcess& operator=(const SimulatorProcess&) = delete;

    // True once it has named its device, which it does after linking it.
    bool ready() const { return ready_; }
    qint64 pid() const { return process_.pid(); }

    // Ends it as an operator would (SIGTERM: it removes its link).
    void stop();
    // Ends it at once, as a pulled cable would: the line hangs up.
    void kill();

    // The frames on the line since the last call, in order, as "in s=?" and
    // "out s=t" (received and sent by the simulator).
    QStringList frames();
    // Only the frames it received, as "s=?".
    QStringList framesIn();

private:
    ChildProcess process_;
    QString log_;
    bool ready_ = false;
};
