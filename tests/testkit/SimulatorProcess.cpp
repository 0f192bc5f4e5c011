#include "tests/testkit/SimulatorProcess.h"

#include "tests/testkit/SimulatorLog.h"

SimulatorProcess::SimulatorProcess(int port, const QStringList& options, const QString& logFile)
{
    const QString link = QStringLiteral("COM%1").arg(port);
    ready_ = process_.start(QStringLiteral(XPDRSIM_PATH), QStringList{QStringLiteral("--link"), link} + options,
                            ChildProcess::Output::Separate, logFile)
        && process_.readLine(5000).startsWith("xpdrsim: " + link.toLatin1());
}

SimulatorProcess::~SimulatorProcess()
{
    stop();
}

void SimulatorProcess::stop()
{
    process_.terminate();
}

void SimulatorProcess::kill()
{
    process_.kill();
}

QStringList SimulatorProcess::frames()
{
    log_ += QString::fromLatin1(process_.readError());
    QStringList frames;
    qsizetype end;
    while ((end = log_.indexOf(u'\n')) >= 0) {
        const auto frame = parseLogLine(log_.left(end).toStdString());
        log_.remove(0, end + 1);
        if (frame) frames << QLatin1String(frame->in ? "in " : "out ") + QString::fromStdString(frame->content);
    }
    return frames;
}

QStringList SimulatorProcess::framesIn()
{
    QStringList in;
    for (const QString& frame : frames())
        if (frame.startsWith(QStringLiteral("in "))) in << frame.mid(3);
    return in;
}
