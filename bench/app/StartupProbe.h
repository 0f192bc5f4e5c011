#pragma once

// The started side of the start-up benchmark, shared by the panel and by a bare
// window for comparison: it builds the application and the window, shows it,
// and once the window's first frame is done prints one line of time stamps
// (nanoseconds of the monotonic clock, which is the same in every process):
//
//   main <ns> application <ns> window <ns> paint <ns> frame <ns> rss <kB>
//
// main: entry of main(), after the loader and the libraries' initialisers;
// application: QApplication built; window: the main window built; paint: the
// window's first paint event begins; frame: that paint and the flush it belongs
// to are over (a zero timer run from the paint fires after them); rss: VmRSS
// then. The process then ends.

#include <QApplication>
#include <QWidget>

#include <functional>
#include <memory>

namespace startup {

// The command-line switch that asks a benchmark program to be the started side,
// followed by the launcher's time stamp.
inline constexpr const char* ChildSwitch = "--started-at";

int runChild(int& argc, char** argv, long long mainAt, const std::function<void(QApplication&)>& setUp,
             const std::function<std::unique_ptr<QWidget>()>& makeWindow);

// Monotonic clock in nanoseconds.
long long nowNs();

// VmRSS of this process in kB.
long residentKb();

} // namespace startup
