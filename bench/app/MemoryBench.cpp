// Resident memory of the panel running Auto against the simulated transponder
// (its interrogation reports on, once a second) for a minute, read from
// /proc/self/status every ten seconds, beside a bare Qt window on the same
// platform (bare_window_bench, run afterwards).
//
//   panel_memory_bench [seconds]     default 60
#include "PanelBench.h"

#include "app/PanelApplication.h"
#include "tests/testkit/SimulatorLog.h"

#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <string>

namespace {

constexpr int Port = 1;

double mb(long kb)
{
    return static_cast<double>(kb) / 1024.0;
}

// How many of the simulator's logged frames received carried `query`.
int countQueries(const QString& logPath, const std::string& query)
{
    int count = 0;
    for (const LoggedFrame& frame : readLog(logPath.toStdString()))
        if (frame.in && frame.content == query) ++count;
    return count;
}

} // namespace

int main(int argc, char** argv)
{
    const int seconds = argc > 1 ? std::max(10, std::atoi(argv[1])) : 60;
    bench::choosePlatform();
    QApplication app(argc, argv);
    setUpPanelApplication(app);
    bench::printPlatform();

    PortDirectory ports;
    QTemporaryDir logDir;
    const QString logPath = logDir.filePath(QStringLiteral("xpdrsim.log"));
    SimulatorProcess simulator(Port, {QStringLiteral("--log")}, logPath);
    if (!simulator.ready()) {
        std::fprintf(stderr, "the simulator did not start\n");
        return 1;
    }
    TForm1 form;
    form.show();
    form.activateWindow();
    runFor(500);
    std::printf("panel shown:                VmRSS %6.1f MB\n", mb(bench::statusKb("VmRSS")));
    if (!bench::connectPanel(form, Port)) {
        std::fprintf(stderr, "the panel did not open COM%d\n", Port);
        return 1;
    }
    bench::pressAuto(form);
    for (int elapsed = 10; elapsed <= seconds; elapsed += 10) {
        runFor(10'000);
        std::printf("after %3d s of Auto:         VmRSS %6.1f MB\n", elapsed, mb(bench::statusKb("VmRSS")));
    }
    std::printf("peak (VmHWM):               VmHWM %6.1f MB   (target: resident < 60 MB)\n",
                mb(bench::statusKb("VmHWM")));
    std::printf("sequences in that time: %d started, %d finished\n", countQueries(logPath, "a=?"),
                countQueries(logPath, "e=?"));

    QProcess bare;
    bare.start(QStringLiteral(BARE_WINDOW_PATH), {});
    bare.waitForFinished(20'000);
    std::printf("%s", bare.readAllStandardOutput().constData());
    return 0;
}
