#pragma once

// What the panel benchmarks share beyond the simulator harness of the tests
// (tests/support): the main window's controls by name, and the clocks and /proc
// figures they print.

#include "app/uavMain.h"
#include "tests/testkit/PortDirectory.h"
#include "tests/testkit/PtyPair.h"
#include "tests/testkit/EventLoopWait.h"
#include "tests/testkit/Ser2netProcess.h"
#include "tests/testkit/SimulatorProcess.h"

#include <QApplication>
#include <QEvent>
#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <sys/types.h>

namespace bench {

// The offscreen platform unless QT_QPA_PLATFORM names another (xcb under Xvfb).
// Call before QApplication exists.
void choosePlatform();

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

// Points COM1 of the port directory `directory` at `target` in one step, as a
// device coming back under its name; a failure ends the benchmark.
void linkAtOnce(const std::string& directory, const std::string& target);

// Types the port number and presses Connect; true when the port opened.
bool connectPanel(TForm1& form, int port);
// Starts `ser2net`, makes COM<port> of `ports` a network entry that names it and
// connects the panel there; false, with a line on stderr, when a step fails.
bool connectThroughSer2net(TForm1& form, const PortDirectory& ports, Ser2netProcess& ser2net, int port);
// Shows the window, lets it settle, connects COM<port> and lets the opening
// settle; false, with a line on stderr, when the port did not open.
bool showAndConnect(TForm1& form, int port);
// Presses Connect again (then labelled Disconnect).
void disconnectPanel(TForm1& form);
// Presses Auto.
void pressAuto(TForm1& form);

// Calls `onPaint` for each paint event of the widgets it is installed on, before
// they paint: the moment a change reaches the screen.
class PaintWatch : public QObject {
public:
    explicit PaintWatch(std::function<void()> onPaint)
        : onPaint_(std::move(onPaint))
    {
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) onPaint_();
        return false;
    }

private:
    std::function<void()> onPaint_;
};

// Prints the platform the window runs on, as a first line of every report.
void printPlatform();

} // namespace bench
