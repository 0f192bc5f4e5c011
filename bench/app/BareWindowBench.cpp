// A bare Qt window for comparison with the panel: an empty QMainWindow of the
// panel's size, on the same platform, with nothing of the panel linked in. Alone
// it shows the window, lets it settle for two seconds and prints its resident
// memory; started by startup_bench it is timed as the panel is.
//
//   bare_window_bench
#include "StartupProbe.h"

#include <QMainWindow>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

std::unique_ptr<QWidget> emptyWindow()
{
    auto window = std::make_unique<QMainWindow>();
    window->resize(734, 555);
    return window;
}

} // namespace

int main(int argc, char** argv)
{
    const long long mainAt = startup::nowNs();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc >= 3 && std::strcmp(argv[1], startup::ChildSwitch) == 0)
        return startup::runChild(argc, argv, mainAt, [](QApplication&) {}, emptyWindow);

    QApplication app(argc, argv);
    const auto window = emptyWindow();
    window->show();
    QTimer::singleShot(2000, &app, &QApplication::quit);
    app.exec();
    std::printf("bare QMainWindow (%s), shown for 2 s: VmRSS %6.1f MB\n",
                qPrintable(QGuiApplication::platformName()), static_cast<double>(startup::residentKb()) / 1024.0);
    return 0;
}
