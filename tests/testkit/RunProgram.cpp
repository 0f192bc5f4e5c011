#include "tests/testkit/RunProgram.h"

#include "tests/testkit/ChildProcess.h"

ProgramRun runWithoutDisplay(const QString& program, const QStringList& arguments)
{
    ChildProcess process({QStringLiteral("DISPLAY"), QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("QT_QPA_PLATFORM")});
    ProgramRun run;
    if (!process.start(program, arguments)) return run;
    // Only a hang runs into this: each program answers at once.
    if (!process.runToEnd(30000)) {
        process.kill();
        return run;
    }
    run.out = QString::fromLocal8Bit(process.readOutput());
    run.err = QString::fromLocal8Bit(process.readError());
    run.exitCode = process.exitCode();
    return run;
}
