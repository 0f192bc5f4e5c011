#include "tests/testkit/SimulatorProcess.h"

#include "tests/testkit/SimulatorLog.h"

SimulatorProcess::SimulatorProcess(int port, const QStringList& options, const QString& logFile)
{
    if (!logFile.isEmpty()) process_.setStandardErrorFile(logFile);
    const QString link = QStringLiteral("COM%1").arg(port);
    process_.start(QStringLiteral(XPDRSIM_PATH), QStringList{QStringLiteral("--link"), link} + options);
    ready_ = process_.waitForStarted(5000) && process_.waitForReadyRead(5000) &&
             process_.readLine().startsWith("xpdrsim: " + link.toLatin1());
}

SimulatorProcess::~SimulatorProcess()
{
    stop();
}

void SimulatorProcess::stop()
{
    if (process_.state() == QProcess::NotRunning) return;
    process_.terminate();
    process_.waitForFinished(5000);
}

void SimulatorProcess::kill()
{
    process_.kill();
    process_.waitForFinished(5000);
}

QStringList SimulatorProcess::frames()
{
    log_ += QString::fromLatin1(process_.readAllStandardError());
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
