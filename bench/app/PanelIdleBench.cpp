// CPU of the running panel, connected to the simulated transponder with Auto
// off, over ten seconds of the real event loop: as the program runs (one idle
// call each time the window thread's queue has drained); with the idle handler
// called again at once for as long as it answers "not finished", which is what
// a spinning idle loop costs; without the blinking caret of the focused edit
// box, which leaves what the panel itself does; and with the simulator's
// interrogation reports coming in once a second, the one thing a connected
// panel has to do while nobody touches it. Also with the traffic monitor and
// the trends open and the session recorded.
//
//   panel_idle_bench [seconds]     default 10
#include "PanelBench.h"

#include "app/PanelApplication.h"
#include "app/SessionControls.h"
#include "app/TrafficMonitor.h"
#include "app/TrendsWindow.h"

#include "framework/Application.h"

#include <QAbstractEventDispatcher>
#include <QEvent>
#include <QGuiApplication>
#include <QMetaEnum>
#include <QStyleHints>
#include <QTemporaryDir>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <unistd.h>

namespace {

constexpr int QuietPort = 1;   // a simulator that sends nothing unasked
constexpr int ReportPort = 2;  // one that sends an interrogation report each second

struct ThreadTime {
    std::string name;
    long long ns = 0;
};

// CPU time of each thread of ours so far, from the scheduler's own accounting
// (nanoseconds; /proc's tick counts are too coarse for a few milliseconds).
std::map<std::string, ThreadTime> threadTimes()
{
    std::map<std::string, ThreadTime> times;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
        ThreadTime t;
        std::ifstream(entry.path() / "comm") >> t.name;
        std::ifstream(entry.path() / "schedstat") >> t.ns;
        times[entry.path().filename().string()] = t;
    }
    return times;
}

struct Window {
    double wall = 0;
    double cpu = 0;
    long wakeUps = 0;
    double percent() const { return 100.0 * cpu / wall; }
};

long loopWakeUps = 0;

// What the window thread was woken for: events delivered, by receiver and type.
class EventCounter : public QObject {
public:
    std::map<std::string, long> counts;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        const QString name = watched->objectName().isEmpty() ? QString::fromLatin1(watched->metaObject()->className())
                                                             : watched->objectName();
        const char* type = QMetaEnum::fromType<QEvent::Type>().valueToKey(event->type());
        ++counts[name.toStdString() + " " + (type ? type : std::to_string(static_cast<int>(event->type())))];
        return false;
    }
};

Window measure(int seconds, const char* title)
{
    const auto threadsBefore = threadTimes();
    const long wakeUpsBefore = loopWakeUps;
    EventCounter events;
    qApp->installEventFilter(&events);
    const double cpuBefore = bench::cpuSeconds();
    const long long wallBefore = bench::nowNs();
    runFor(seconds * 1000);
    Window w;
    w.wall = bench::nsToMs(bench::nowNs() - wallBefore) / 1000.0;
    w.cpu = bench::cpuSeconds() - cpuBefore;
    w.wakeUps = loopWakeUps - wakeUpsBefore;
    const auto threadsAfter = threadTimes();
    qApp->removeEventFilter(&events);

    std::printf("%s\n", title);
    std::printf("  %.2f s: CPU %.3f ms = %.4f %% of one core; the window thread's loop went idle %ld times "
                "(%.1f/s)\n",
                w.wall, w.cpu * 1e3, w.percent(), w.wakeUps, static_cast<double>(w.wakeUps) / w.wall);
    for (const auto& [tid, after] : threadsAfter) {
        const auto before = threadsBefore.find(tid);
        const long long used = after.ns - (before == threadsBefore.end() ? 0 : before->second.ns);
        const std::string who = tid == std::to_string(::getpid()) ? "window thread" : "thread " + tid;
        if (used > 0) std::printf("    %-28s %10.3f ms\n", who.c_str(), bench::nsToMs(used));
    }
    for (const auto& [what, n] : events.counts) std::printf("    event %-40s %6ld\n", what.c_str(), n);
    return w;
}

} // namespace

int main(int argc, char** argv)
{
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    bench::choosePlatform();
    QApplication app(argc, argv);
    setUpPanelApplication(app);
    bench::printPlatform();

    PortDirectory ports;
    SimulatorProcess quiet(QuietPort, {QStringLiteral("--rate"), QStringLiteral("0")});
    SimulatorProcess reporting(ReportPort, {});
    if (!quiet.ready() || !reporting.ready()) {
        std::fprintf(stderr, "the simulator did not start\n");
        return 1;
    }

    TForm1 form;
    form.show();
    // Counted after the window's own hook, which the window installed when it was built.
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock,
                     [] { ++loopWakeUps; });
    // On a desktop the new window gets the focus, and with it the caret of the
    // focused box blinks; Xvfb has no window manager to give it.
    form.activateWindow();
    runFor(500);
    std::printf("window active: %s\n", form.isActiveWindow() ? "yes" : "no");
    if (!bench::connectPanel(form, QuietPort)) {
        std::fprintf(stderr, "the panel did not open COM%d\n", QuietPort);
        return 1;
    }
    runFor(1000);

    const Window built = measure(seconds, "connected, Auto off, nothing on the line (target <= 0.1 % of one core):");

    // The session's windows open and the session recorded: with nothing on the
    // line they have nothing to do either.
    {
        SessionControls& session = form.Session();
        QTemporaryDir recordDir;
        TrafficMonitor* monitor = session.showMonitor();
        TrendsWindow* trends = session.showTrends();
        session.startRecording(recordDir.filePath(QStringLiteral("session.jsonl")));
        form.activateWindow();
        runFor(1000);
        measure(seconds, "the same with the traffic monitor and the trends open and the session recorded "
                         "(target <= 0.1 % of one core):");
        session.stopRecording();
        monitor->close();
        trends->close();
        form.activateWindow();
        runFor(500);
    }

    const int caretFlashMs = QGuiApplication::styleHints()->cursorFlashTime();
    fw::Application::instance().setSpinWhileNotDone(true);
    runFor(200);
    const Window spinning = measure(seconds, "the same with the idle handler spinning while it answers 'not finished':");
    fw::Application::instance().setSpinWhileNotDone(false);
    std::printf("spinning / as built: %.0f x the CPU (%.1f %% against %.4f %%)\n",
                built.cpu > 0 ? spinning.percent() / built.percent() : 0.0, spinning.percent(), built.percent());

    // What is left is the caret blinking in the focused box, twice a second, each
    // blink repainting the box and the widgets behind it; without it:
    QGuiApplication::styleHints()->setCursorFlashTime(0);
    runFor(200);
    measure(seconds, "the same with the caret not blinking (cursor flash time 0):");
    QGuiApplication::styleHints()->setCursorFlashTime(caretFlashMs);

    bench::disconnectPanel(form);
    if (!bench::connectPanel(form, ReportPort)) {
        std::fprintf(stderr, "the panel did not open COM%d\n", ReportPort);
        return 1;
    }
    runFor(1000);
    measure(seconds, "connected, Auto off, an interrogation report each second (lamp lit 500 ms each):");
    return 0;
}
