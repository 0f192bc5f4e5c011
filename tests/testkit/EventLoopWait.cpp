#include "tests/testkit/EventLoopWait.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

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
