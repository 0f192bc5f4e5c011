// Reconnect through ser2net: the panel is connected to a network port, a
// pseudo-terminal the benchmark holds that ser2net serves with
// telnet(rfc2217) on localhost. ser2net is killed (the panel reports it once
// and retries after 0.5 s, then 1, 2, 4 and 8 s) and started again on the same
// port at once, or after `delay` ms. Measured over the cycles: from the loss
// (the port closed) and from ser2net listening again to the port open again,
// and which retry found it.
//
// Between cycles the link is left up until it has held (10 s), as a link in
// use would be; a link lost before it holds is a failed attempt, after which
// the waits go on doubling instead.
//
//   network_reconnect_bench [cycles] [delay]     default 20 cycles, no delay
#include "PanelBench.h"

#include "app/PanelApplication.h"
#include "framework/MessageBoxes.h"
#include "serial/ReconnectMachine.h"
#include "serial/RetrySchedule.h"
#include "serial/Serial2.h"

#include <QCoreApplication>
#include <algorithm>
#include <map>
#include <vector>

namespace {

// Serves the window thread's events, sleeping between them, until `done`.
template <class Done>
void serveUntil(Done done)
{
    while (!done()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

struct Figures {
    double median = 0, min = 0, max = 0;
};

Figures figuresOf(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const std::size_t half = v.size() / 2;
    return {v.size() % 2 ? v[half] : (v[half - 1] + v[half]) / 2, v.front(), v.back()};
}

// The retry that finds a server back `ms` after the loss: the first attempt
// comes at once, then the schedule's waits add up.
int retryThatFinds(double ms)
{
    RetrySchedule schedule;
    double at = 0;
    int retry = 0;
    while (at < ms) {
        at += static_cast<double>(schedule.next().count());
        ++retry;
    }
    return retry;
}

double retryTime(int retry)
{
    RetrySchedule schedule;
    double at = 0;
    for (int i = 0; i < retry; ++i) at += static_cast<double>(schedule.next().count());
    return at;
}

} // namespace

int main(int argc, char** argv)
{
    const int cycles = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    const int delayMs = argc > 2 ? std::max(0, std::atoi(argv[2])) : 0;
    bench::choosePlatform();
    QApplication app(argc, argv);
    setUpPanelApplication(app);
    bench::printPlatform();

    PortDirectory ports;
    PtyPair line;
    Ser2netProcess ser2net(QString::fromStdString(line.slavePath()), Ser2netProcess::Accepter::Rfc2217);
    fw::ScopedRecordingMessageBoxes boxes;
    TForm1 form;
    form.show();
    if (!bench::connectThroughSer2net(form, ports, ser2net, 4)) return 1;
    // The operator's Disconnect and Connect: an opening through a ser2net that
    // has served the port before.
    bench::disconnectPanel(form);
    const long long connecting = bench::nowNs();
    if (!bench::connectPanel(form, 4)) return 1;
    std::printf("Connect after Disconnect, the port open: %.2f ms\n", bench::nsToMs(bench::nowNs() - connecting));

    std::vector<double> fromLoss, fromListening;
    std::map<int, int> foundBy;
    for (int cycle = 0; cycle < cycles; ++cycle) {
        ser2net.kill();
        serveUntil([&] { return !form.SerialComm->Active(); });
        const long long lost = bench::nowNs();
        // The window goes on meanwhile: its retries come when they are due.
        if (delayMs > 0) runFor(delayMs);
        if (!ser2net.start()) {
            std::fprintf(stderr, "ser2net did not start again: %s\n", qPrintable(ser2net.output()));
            return 1;
        }
        const long long listening = bench::nowNs();
        serveUntil([&] { return form.SerialComm->Active(); });
        const long long restored = bench::nowNs();
        fromLoss.push_back(bench::nsToMs(restored - lost));
        fromListening.push_back(bench::nsToMs(restored - listening));
        ++foundBy[retryThatFinds(bench::nsToMs(listening - lost))];
        // The link holds before the next loss, as a link in use does: the
        // back-off starts again from half a second only after a link held.
        runFor(static_cast<int>(ReconnectMachine::HoldMs) + 100);
    }
    const Figures loss = figuresOf(fromLoss);
    const Figures back = figuresOf(fromListening);
    std::printf("reconnect through ser2net (rfc2217), killed and started again %s, %d cycles:\n",
                delayMs > 0 ? qPrintable(QStringLiteral("after %1 ms").arg(delayMs)) : "at once", cycles);
    std::printf("  loss -> port open again:             median %.1f ms, min %.1f ms, max %.1f ms\n", loss.median,
                loss.min, loss.max);
    std::printf("  ser2net listening -> port open again: median %.1f ms, min %.1f ms, max %.1f ms\n", back.median,
                back.min, back.max);
    for (const auto& [retry, count] : foundBy)
        std::printf("  found by retry %d (%.1f s after the loss): %d cycles\n", retry, retryTime(retry) / 1000, count);
    std::printf("  reports: %zu (one per loss of a link that had held)\n", boxes.shown.size());
    return 0;
}
