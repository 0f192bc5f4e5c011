// The panel against the faults real servers and adapters make, in real time:
//
//   link_fault_bench hangup [seconds]   default 60: ser2net (raw TCP) allows one
//       client and another holds the port, so each connection is told "Port
//       already in use" and closed. The operator presses Connect once. Counted:
//       the reports, and the connections the panel made, with their times.
//       Target: 1 report; connections at 0, 0.5, 1.5, 3.5, 7.5 s, then every 8 s.
//   link_fault_bench silent [seconds]   default 30: a held link is lost and its
//       entry then names a server that never answers (a listening socket with a
//       full backlog). Counted: the modal boxes shown while the panel retries,
//       and the longest the window thread was kept from a 10 ms timer.
//       Target: 0 boxes.
//   link_fault_bench restore [cycles]   default 10: Auto runs against the
//       simulated transponder, whose line is pulled mid-sequence and plugged
//       back in. Measured: from the port open again to the first query on its
//       way. Target: under 100 ms.
#include "PanelBench.h"

#include "app/PanelApplication.h"
#include "app/PanelStatusBar.h"
#include "framework/MessageBoxes.h"
#include "platform/NetworkSerialDevice.h"
#include "serial/LinkMonitor.h"
#include "serial/Serial2.h"
#include "serial/SerialTap.h"
#include "tests/testkit/LoopbackServer.h"

#include <QMessageBox>
#include <QTimer>
#include <algorithm>
#include <fstream>
#include <vector>

namespace {

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const std::size_t half = v.size() / 2;
    return v.empty() ? 0 : v.size() % 2 ? v[half] : (v[half - 1] + v[half]) / 2;
}

ReconnectMachine& machineOf(TForm1& form)
{
    return form.findChild<LinkMonitor*>()->reconnector();
}

int hangup(TForm1& form, PortDirectory& ports, fw::RecordingMessageBoxes& boxes, int seconds)
{
    PtyPair line;
    Ser2netProcess ser2net(QString::fromStdString(line.slavePath()), Ser2netProcess::Accepter::RawTcp, 9600,
                           Ser2netProcess::CharDelay::Default, {QStringLiteral("max-connections: 1")});
    if (!ser2net.start()) return std::fprintf(stderr, "ser2net did not start\n"), 1;
    std::ofstream(ports.path() + "/COM4") << ser2net.entry().toStdString() << "\n";
    // Another client holds the port: what it sends reaches the line.
    platform::NetworkSerialDevice holder;
    if (holder.open("COM4") != 0 || holder.write("!", 1, 1000) != 0 || line.receive(1) != "!")
        return std::fprintf(stderr, "the first client did not connect\n"), 1;

    std::vector<double> connections;
    const long long start = bench::nowNs();
    QObject::connect(&machineOf(form), &ReconnectMachine::stateChanged, [&](ReconnectMachine::State state) {
        if (state == ReconnectMachine::State::Trying) connections.push_back(bench::nsToMs(bench::nowNs() - start));
    });
    connections.push_back(0);
    bench::connectPanel(form, 4);
    runFor(seconds * 1000);
    std::printf("a server that hangs up at once (ser2net, max-connections 1, port held), %d s after one Connect:\n",
                seconds);
    std::printf("  reports: %zu", boxes.shown.size());
    for (const auto& shown : boxes.shown) std::printf(" \"%s\"", qPrintable(shown.text));
    std::printf("\n  connections: %zu, at", connections.size());
    for (const double at : connections) std::printf(" %.2f", at / 1000);
    std::printf(" s\n  status bar: %s\n", qPrintable(form.findChild<PanelStatusBar*>()->link()));
    return 0;
}

int silent(TForm1& form, PortDirectory& ports, int seconds)
{
    LoopbackServer working;
    LoopbackServer full(0);
    // One connection fills a backlog of 0: every further connect hangs.
    std::ofstream(ports.path() + "/COM5") << "tcp://127.0.0.1:" << full.port() << "\n";
    platform::NetworkSerialDevice filler;
    if (filler.open("COM5") != 0) return std::fprintf(stderr, "the backlog did not fill\n"), 1;
    std::ofstream(ports.path() + "/COM4") << "tcp://127.0.0.1:" << working.port() << "\n";
    if (!bench::connectPanel(form, 4) || !working.accept()) return std::fprintf(stderr, "no connection\n"), 1;
    runFor(ReconnectMachine::HoldMs + 200); // the link holds
    working.closeConnection();
    working.stopListening();
    std::ofstream(ports.path() + "/COM4", std::ios::trunc) << "tcp://127.0.0.1:" << full.port() << "\n";

    int boxesSeen = 0;
    bool boxUp = false;
    double longestGap = 0;
    long long last = bench::nowNs();
    QTimer sample;
    sample.setTimerType(Qt::PreciseTimer);
    QObject::connect(&sample, &QTimer::timeout, [&] {
        const long long now = bench::nowNs();
        longestGap = std::max(longestGap, bench::nsToMs(now - last));
        last = now;
        bool up = false;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<QMessageBox*>(w) && w->isVisible()) up = true;
        if (up && !boxUp) ++boxesSeen;
        boxUp = up;
    });
    sample.start(10);
    int attempts = 0;
    QObject::connect(&machineOf(form), &ReconnectMachine::stateChanged, [&](ReconnectMachine::State state) {
        if (state == ReconnectMachine::State::Trying) ++attempts;
    });
    runFor(seconds * 1000);
    std::printf("a server that never answers while the panel reconnects, %d s: %d attempts, %d modal boxes shown, "
                "the window thread's longest gap between 10 ms ticks %.0f ms\n",
                seconds, attempts, boxesSeen, longestGap);
    return 0;
}

// Notes when each frame went out.
class SentTimes : public SerialTap {
public:
    void sent(const std::string&) override { times.push_back(bench::nowNs()); }
    void received(const std::string&) override {}
    void dropped(const std::string&) override {}
    std::vector<long long> times;
};

int restore(TForm1& form, int cycles)
{
    auto simulator = std::make_unique<SimulatorProcess>(1, QStringList{});
    if (!simulator->ready() || !bench::connectPanel(form, 1)) return std::fprintf(stderr, "no simulator\n"), 1;
    SentTimes tap;
    form.SerialComm->addTap(&tap);
    bench::pressAuto(form);
    std::vector<double> firstQuery;
    for (int cycle = 0; cycle < cycles; ++cycle) {
        // Mid-sequence: a few queries into it.
        const std::size_t before = tap.times.size();
        if (!runUntil([&] { return tap.times.size() >= before + 4; }, 5000)) return 1;
        simulator->stop();
        if (!runUntil([&] { return !form.SerialComm->Active(); }, 3000)) return 1;
        simulator = std::make_unique<SimulatorProcess>(1, QStringList{});
        if (!runUntil([&] { return form.SerialComm->Active(); }, 3000)) return 1;
        const long long restored = bench::nowNs();
        const std::size_t sent = tap.times.size();
        if (!runUntil([&] { return tap.times.size() > sent; }, 3000)) return 1;
        firstQuery.push_back(bench::nsToMs(tap.times[sent] - restored));
    }
    form.SerialComm->removeTap(&tap);
    std::printf("restore after a loss cut a sequence short -> first query out, %d cycles: median %.1f ms, min %.1f, "
                "max %.1f (target < 100 ms)\n",
                cycles, median(firstQuery), *std::min_element(firstQuery.begin(), firstQuery.end()),
                *std::max_element(firstQuery.begin(), firstQuery.end()));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    const int count = argc > 2 ? std::max(1, std::atoi(argv[2])) : 0;
    if (mode != "hangup" && mode != "silent" && mode != "restore") {
        std::fprintf(stderr, "usage: link_fault_bench hangup|silent|restore [seconds or cycles]\n");
        return 2;
    }
    bench::choosePlatform();
    QApplication app(argc, argv);
    setUpPanelApplication(app);
    bench::printPlatform();
    PortDirectory ports;
    fw::ScopedRecordingMessageBoxes boxes;
    TForm1 form;
    form.show();
    if (mode == "hangup") return hangup(form, ports, boxes, count ? count : 60);
    if (mode == "silent") return silent(form, ports, count ? count : 30);
    return restore(form, count ? count : 10);
}
