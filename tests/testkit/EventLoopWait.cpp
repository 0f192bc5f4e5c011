#include "tests/testkit/EventLoopWait.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <memory>

void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

bool runUntil(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer elapsed;
    elapsed.start();
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (done() || elapsed.elapsed() > timeoutMs) loop.quit();
    });
    check.start(5);
    if (!done()) loop.exec();
    return done();
}

bool serveWhatIsQueued(int timeoutMs)
{
    // Shared: the call may run after a wait that gave up has returned.
    const auto served = std::make_shared<bool>(false);
    QMetaObject::invokeMethod(QCoreApplication::instance(), [served] { *served = true; }, Qt::QueuedConnection);
    return runUntil([&] { return *served; }, timeoutMs);
}
