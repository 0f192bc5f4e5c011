// Reply latency: from the last byte of a reply on the line to the label showing
// it. This program plays the transponder on a pseudo-terminal: a thread of its
// own writes a code reply ("c=NNNN", a new code each time) to the master side
// and takes the time as write() returns, when the last byte is on the line. The
// connected panel (Auto off) reads it, hands it to the window thread and decodes
// it at the next idle call. Seen from the window thread:
//
//   idle call    the first idle call that finds the message waiting (a hook on
//                the loop's about-to-block signal connected before the window's
//                own, so it runs just before the window's idle handler);
//   text set     the Assigned Code label holds the new code (a hook connected
//                after the window's, so it runs just after the idle handler);
//   painted      the label's first paint event with the new code (an event
//                filter on the label, as its paint begins).
//
// The next reply goes 10 ms after the previous one was painted, so each one
// finds the panel waiting for events, as a reply from a real line would.
//
//   reply_latency_bench [replies]     default 1000
#include "PanelBench.h"

#include "app/PanelApplication.h"

#include <QAbstractEventDispatcher>
#include <QEvent>
#include <QEventLoop>
#include <QLabel>
#include <QMetaObject>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

constexpr int Port = 1;

struct Sample {
    long long written = 0;
    long long idleCall = 0;
    long long textSet = 0;
    long long painted = 0;
};

void printPercentiles(const char* what, std::vector<double> ms)
{
    if (ms.empty()) {
        std::printf("  %-40s no samples\n", what);
        return;
    }
    std::sort(ms.begin(), ms.end());
    const auto at = [&](double share) { return ms[std::min(ms.size() - 1, static_cast<std::size_t>(share * ms.size()))]; };
    std::printf("  %-40s median %7.3f ms   99th %7.3f ms   max %7.3f ms\n", what, at(0.5), at(0.99), ms.back());
}

} // namespace

int main(int argc, char** argv)
{
    const int count = argc > 1 ? std::max(10, std::atoi(argv[1])) : 1000;
    bench::choosePlatform();
    QApplication app(argc, argv);
    setUpPanelApplication(app);
    bench::printPlatform();

    PortDirectory ports;
    PtyPair line;
    ports.map(Port, line.slavePath());

    std::vector<Sample> samples(static_cast<std::size_t>(count));
    std::vector<QString> expected(static_cast<std::size_t>(count));
    std::atomic<int> current{-1};
    std::atomic<int> finished{-1};
    TForm1* panel = nullptr;
    QLabel* code = nullptr;

    // Connected before the window exists, so before the window's idle hook.
    auto* dispatcher = QAbstractEventDispatcher::instance();
    QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, [&] {
        const int i = current.load(std::memory_order_acquire);
        if (i >= 0 && panel && panel->PendingMessageCount() > 0 && samples[i].idleCall == 0)
            samples[i].idleCall = bench::nowNs();
    });
    TForm1 form;
    panel = &form;
    code = bench::control<QLabel>(form, "lblCode");
    QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, [&] {
        const int i = current.load(std::memory_order_acquire);
        if (i >= 0 && samples[i].textSet == 0 && code->text() == expected[i]) samples[i].textSet = bench::nowNs();
    });
    bench::PaintWatch paints([&] {
        const int i = current.load(std::memory_order_acquire);
        if (i < 0 || samples[i].painted != 0 || code->text() != expected[i]) return;
        samples[i].painted = bench::nowNs();
        finished.store(i, std::memory_order_release);
    });
    code->installEventFilter(&paints);

    if (!bench::showAndConnect(form, Port)) return 1;

    QEventLoop loop;
    int missed = 0;
    std::thread transponder([&] {
        using namespace std::chrono_literals;
        for (int i = 0; i < count; ++i) {
            std::this_thread::sleep_for(10ms);
            const QString value = QString::number(1000 + i % 6000).rightJustified(4, u'0');
            expected[i] = value;
            current.store(i, std::memory_order_release);
            const std::string frame = "\x02" "c=" + value.toStdString() + "\x03";
            line.send(frame);
            samples[i].written = bench::nowNs();
            const auto giveUp = std::chrono::steady_clock::now() + 1s;
            while (finished.load(std::memory_order_acquire) < i && std::chrono::steady_clock::now() < giveUp)
                std::this_thread::sleep_for(100us);
            if (finished.load(std::memory_order_acquire) < i) ++missed;
        }
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    transponder.join();

    std::vector<double> toIdle, toText, toPaint;
    for (const Sample& s : samples) {
        if (s.idleCall) toIdle.push_back(bench::nsToMs(s.idleCall - s.written));
        if (s.textSet) toText.push_back(bench::nsToMs(s.textSet - s.written));
        if (s.painted) toPaint.push_back(bench::nsToMs(s.painted - s.written));
    }
    std::printf("last byte of a reply on the line -> (%d replies, %d not shown within 1 s):\n", count, missed);
    printPercentiles("idle call with the message waiting", toIdle);
    printPercentiles("label text set", toText);
    printPercentiles("label painted (target: median < 2 ms)", toPaint);
    return 0;
}
