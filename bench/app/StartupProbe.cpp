#include "StartupProbe.h"

#include <QEvent>
#include <QTimer>

#include <cstdio>
#include <fstream>
#include <string>
#include <time.h>

namespace startup {

long long nowNs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<long long>(t.tv_sec) * 1'000'000'000LL + t.tv_nsec;
}

long residentKb()
{
    std::ifstream in("/proc/self/status");
    std::string key;
    while (in >> key) {
        if (key == "VmRSS:") {
            long kb = -1;
            in >> kb;
            return kb;
        }
        std::getline(in, key);
    }
    return -1;
}

namespace {

class FirstFrame : public QObject {
public:
    long long paintAt = 0;
    long long frameAt = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && paintAt == 0) {
            paintAt = nowNs();
            // Runs once the expose or update that this paint belongs to has
            // painted every child and flushed the window.
            QTimer::singleShot(0, qApp, [this] {
                frameAt = nowNs();
                qApp->exit(0);
            });
        }
        return false;
    }
};

} // namespace

int runChild(int& argc, char** argv, long long mainAt, const std::function<void(QApplication&)>& setUp,
             const std::function<std::unique_ptr<QWidget>()>& makeWindow)
{
    QApplication app(argc, argv);
    setUp(app);
    const long long applicationAt = nowNs();
    const std::unique_ptr<QWidget> window = makeWindow();
    const long long windowAt = nowNs();
    FirstFrame watch;
    window->installEventFilter(&watch);
    window->show();
    // No frame within ten seconds: the line says so with zeros.
    QTimer::singleShot(10'000, qApp, [] { qApp->exit(1); });
    const int result = app.exec();
    std::printf("main %lld application %lld window %lld paint %lld frame %lld rss %ld\n", mainAt, applicationAt,
                windowAt, watch.paintAt, watch.frameAt, residentKb());
    std::fflush(stdout);
    return result;
}

} // namespace startup
