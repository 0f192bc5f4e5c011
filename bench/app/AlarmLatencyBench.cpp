// Alarm latency: from the last byte of a reply that carries an emergency code
// on the line to the status bar's alarm section painted with it. This program
// plays the transponder on a pseudo-terminal: a thread of its own writes a
// code reply to the master side, 7700, 7600 and 7500 in turn so that each one
// raises the alarm anew, and takes the time as write() returns. The connected
// panel (Auto off) decodes it at the next idle call; the time ends at the
// section's first paint event with the new alarm's words. Every raise also asks
// for the desktop's attention and sends the desktop notification, as in use.
//
// The next reply goes 10 ms after the previous one was painted, so each one
// finds the panel waiting for events, as a reply from a real line would.
//
// Then the chatter of the voltage alarm: 1000 readings wandering by up to
// 0.1 V either side of the maximum (29.4, 29.5, 29.6 V against 26.0 .. 29.5 V),
// decoded as the panel decodes them, counting the alarm's reports (each one a
// line of the record) and its raises.
//
//   alarm_latency_bench [replies]     default 1000
#include "PanelBench.h"

#include "transponder/AlarmModel.h"

#include "app/PanelApplication.h"

#include <QEvent>
#include <QEventLoop>
#include <QLabel>
#include <QMetaObject>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <random>
#include <thread>
#include <vector>

namespace {

constexpr int Port = 1;

void voltageChatter()
{
    int lines = 0;
    int raises = 0;
    transponder::AlarmModel model([&](const transponder::Alarm& alarm) {
        ++lines;
        raises += alarm.state == transponder::AlarmState::ActiveUnacknowledged;
    });
    model.setVoltageLimits(transponder::VoltageLimits{26.0, 29.5});
    std::mt19937 random(7);
    std::uniform_int_distribution<int> pick(0, 2);
    const char* const readings[] = {"29.4", "29.5", "29.6"}; // as the transponder writes them
    constexpr int Readings = 1000;
    for (int i = 0; i < Readings; ++i)
        model.replyDecoded(*transponder::parseReply(std::string("\x02v=") + readings[pick(random)] + "\x03"));
    std::printf("%d voltage readings wandering 29.4 .. 29.6 V about the 29.5 V limit: %d alarm line(s), %d raise(s) "
                "(target: at most 1 and 1)\n",
                Readings, lines, raises);
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

    const char* const codes[][2] = {{"7700", "general emergency"}, {"7600", "radio failure"},
                                    {"7500", "unlawful interference"}};
    std::vector<long long> written(static_cast<std::size_t>(count)), painted(static_cast<std::size_t>(count));
    std::vector<QString> expected(static_cast<std::size_t>(count));
    std::atomic<int> current{-1};
    std::atomic<int> finished{-1};

    TForm1 form;
    QLabel* section = bench::control<QLabel>(form, "alarmSection");
    bench::PaintWatch paints([&] {
        const int i = current.load(std::memory_order_acquire);
        if (i < 0 || painted[i] != 0 || section->text() != expected[i]) return;
        painted[i] = bench::nowNs();
        finished.store(i, std::memory_order_release);
    });
    section->installEventFilter(&paints);

    if (!bench::showAndConnect(form, Port)) return 1;

    QEventLoop loop;
    int missed = 0;
    std::thread transponder([&] {
        using namespace std::chrono_literals;
        for (int i = 0; i < count; ++i) {
            std::this_thread::sleep_for(10ms);
            const auto& [code, meaning] = codes[i % 3];
            expected[i] = QStringLiteral("Emergency code %1: %2").arg(QLatin1String(code), QLatin1String(meaning));
            current.store(i, std::memory_order_release);
            line.send(std::string("\x02" "c=") + code + "\x03");
            written[i] = bench::nowNs();
            const auto giveUp = std::chrono::steady_clock::now() + 1s;
            while (finished.load(std::memory_order_acquire) < i && std::chrono::steady_clock::now() < giveUp)
                std::this_thread::sleep_for(100us);
            if (finished.load(std::memory_order_acquire) < i) ++missed;
        }
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    transponder.join();

    std::vector<double> ms;
    for (int i = 0; i < count; ++i)
        if (painted[i]) ms.push_back(bench::nsToMs(painted[i] - written[i]));
    std::sort(ms.begin(), ms.end());
    std::printf("last byte of a reply with an emergency code on the line -> alarm section painted "
                "(%d replies, %d not shown within 1 s):\n", count, missed);
    if (ms.empty()) return 1;
    const auto at = [&](double share) { return ms[std::min(ms.size() - 1, static_cast<std::size_t>(share * ms.size()))]; };
    std::printf("  median %7.3f ms   99th %7.3f ms   max %7.3f ms   (target: median < 5 ms)\n", at(0.5), at(0.99),
                ms.back());
    voltageChatter();
    return 0;
}
