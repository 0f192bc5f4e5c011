#pragma once

// What the panel benchmarks share: the simulated transponder as a child process
// on a private port directory, the main window set up as the program sets it up,
// its controls by name, the real event loop for a while, and the clocks and
// /proc figures they print.

#include "app/uavMain.h"
#include "tests/platform/PtyPair.h"

#include <QApplication>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <sys/types.h>

namespace bench {

// The offscreen platform unless QT_QPA_PLATFORM names another (xcb under Xvfb).
// Call before QApplication exists.
void choosePlatform();

// What the program's entry does to the application before its window exists.
void setUpLikeTheProgram(QApplication& app);

// CPU time of this process, all its threads, in seconds.
double cpuSeconds();
// Monotonic clock, the same in every process of this machine.
long long nowNs();
inline double nsToMs(long long ns)
{
    return static_cast<double>(ns) / 1e6;
}

// A field of /proc/<pid>/status in kB (VmRSS, VmHWM, ...); pid 0 is this process.
long statusKb(const char* field, pid_t pid = 0);

// Runs the window thread's event loop (timers, idle calls, hand-offs) for `ms`.
void runFor(int ms);
// Runs it until `done`, looking every 5 ms; false when `timeoutMs` passed first.
bool runUntil(const std::function<bool()>& done, int timeoutMs);

// The simulated transponder on a pseudo-terminal, linked as COM<port> into the
// port directory that UAVCONTROL_PORTS names (a PortDirectory of the bench
// sets it). With a log file, its --log lines go
// there rather than through a pipe, so reading them costs this process nothing
// while it is being measured.
class Simulator {
public:
    Simulator(int port, const QStringList& options, const QString& logFile = {});
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    bool ready() const { return ready_; }
    qint64 pid() const { return process_.processId(); }

private:
    QProcess process_;
    bool ready_ = false;
};

// A control of the window by its name in the stored layout; a missing one ends
// the benchmark, whose figures would mean nothing without it.
template <class T>
T* control(QWidget& window, const char* name)
{
    T* found = window.findChild<T*>(QString::fromLatin1(name));
    if (!found) {
        std::fprintf(stderr, "no control %s in the window\n", name);
        std::exit(1);
    }
    return found;
}

// Types the port number and presses Connect; true when the port opened.
bool connectPanel(TForm1& form, int port);
// Presses Connect again (then labelled Disconnect).
void disconnectPanel(TForm1& form);
// Presses Auto.
void pressAuto(TForm1& form);

// Prints the platform the window runs on, as a first line of every report.
void printPlatform();

} // namespace bench
