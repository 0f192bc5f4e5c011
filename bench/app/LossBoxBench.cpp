// The panel's link while nobody is at the window, with its real boxes:
//   - the loss box still up when the device comes back: from the link put in
//     place to the first query on the new line, and whether the box went away
//     by itself (cycles of: a held link with Auto on, the line hung up, a new
//     line linked 300 ms later);
//   - retries of a server that never answers (its backlog full, as a host
//     that drops the connection attempts) for 60 s: the window thread's
//     longest stall, sampled each millisecond.
//
//   loss_box_bench [cycles] [seconds]     default 10 cycles, 60 s
#include "PanelBench.h"

#include "app/PanelApplication.h"
#include "framework/MessageBoxes.h"
#include "serial/ReconnectMachine.h"
#include "serial/Serial2.h"
#include "serial/LinkMonitor.h"
#include "tests/testkit/EventLoopWait.h"
#include "tests/testkit/LoopbackServer.h"
#include "tests/testkit/PacedTransponder.h"

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <memory>
#include <unistd.h>
#include <vector>

namespace {

const std::map<char, std::string> Replies = {
    {'a', "a=1000"}, {'c', "c=1200"}, {'f', "f=1.2"}, {'i', "i=0"}, {'r', "r=Y"},   {'s', "s=t"},  {'v', "v=27.9"},
    {'o', "o=1532"}, {'u', "u=0"},    {'n', "n=04172"}, {'l', "l=0"}, {'d', "d=g"}, {'z', "z=2.14"}, {'e', "e=0"}};

// The window thread's real loop, idle calls included (they send the queries).
bool serveUntil(const std::function<bool()>& done, int limitMs = 20000)
{
    return runUntil(done, limitMs);
}

struct Line {
    std::unique_ptr<PtyPair> pty = std::make_unique<PtyPair>();
    std::unique_ptr<PacedTransponder> transponder = std::make_unique<PacedTransponder>(pty->master(), Replies);
    std::size_t framesIn() const
    {
        std::size_t in = 0;
        for (const LoggedFrame& frame : transponder->frames()) in += frame.in;
        return in;
    }
};

int backWhileTheBoxIsUp(TForm1& form, const PortDirectory& ports, int cycles)
{
    auto line = std::make_unique<Line>();
    bench::linkAtOnce(ports.path(), line->pty->slavePath());
    if (!bench::connectPanel(form, 1)) {
        std::fprintf(stderr, "the panel did not open COM1\n");
        return 1;
    }
    bench::pressAuto(form);
    std::vector<double> firstQuery;
    int closedByThemselves = 0;
    for (int cycle = 0; cycle < cycles; ++cycle) {
        // Held: a whole sequence answered.
        const std::size_t before = line->framesIn();
        if (!serveUntil([&] { return line->framesIn() >= before + 15; })) {
            std::fprintf(stderr, "cycle %d: no whole sequence (%zu frames in)\n", cycle, line->framesIn());
            return 1;
        }
        std::unique_ptr<Line> next;
        long long linked = 0;
        QTimer::singleShot(300, [&] {
            next = std::make_unique<Line>();
            linked = bench::nowNs();
            bench::linkAtOnce(ports.path(), next->pty->slavePath());
        });
        line->transponder->stop();
        line->pty->closeMaster();
        // The box's own loop serves the attempt behind it; it returns here
        // once the box has gone, by itself or never.
        const bool restored = serveUntil([&] { return next && next->framesIn() > 0; });
        if (!restored) {
            std::fprintf(stderr, "cycle %d: nothing reached the new line\n", cycle);
            return 1;
        }
        for (const LoggedFrame& frame : next->transponder->frames())
            if (frame.in) {
                firstQuery.push_back(frame.ms - linked / 1e6);
                break;
            }
        closedByThemselves += QApplication::activeModalWidget() == nullptr;
        line = std::move(next);
    }
    std::sort(firstQuery.begin(), firstQuery.end());
    std::printf("device back while the loss box is up, %d cycles: link in place -> first query median %.1f ms, "
                "max %.1f ms (target < 500 ms); boxes gone by themselves: %d of %d\n",
                cycles, firstQuery[firstQuery.size() / 2], firstQuery.back(), closedByThemselves, cycles);
    bench::disconnectPanel(form);
    return 0;
}

int retriesOfASilentServer(TForm1& form, const PortDirectory& ports, int seconds)
{
    // The loss's box answered at once, as by an operator who read it: what
    // is measured is the retries behind it.
    fw::ScopedRecordingMessageBoxes boxes;
    LoopbackServer server;
    ports.write(1, "tcp://127.0.0.1:" + std::to_string(server.port()) + "\n");
    if (!bench::connectPanel(form, 1) || !server.accept()) {
        std::fprintf(stderr, "the panel did not connect to the server\n");
        return 1;
    }
    // Away, and its address now one that never answers: every retry waits
    // out its connection's time limit.
    SilentListener silent("127.0.0.1", 0);
    ports.write(1, "tcp://127.0.0.1:" + std::to_string(silent.port()) + "\n");
    server.closeConnection();
    if (!serveUntil([&] { return !form.SerialComm->Active(); })) {
        std::fprintf(stderr, "the loss was not seen\n");
        return 1;
    }
    QTimer sample;
    sample.setTimerType(Qt::PreciseTimer);
    long long last = bench::nowNs();
    double longest = 0;
    QObject::connect(&sample, &QTimer::timeout, [&] {
        const long long now = bench::nowNs();
        longest = std::max(longest, bench::nsToMs(now - last));
        last = now;
    });
    sample.start(1);
    const long long end = bench::nowNs() + static_cast<long long>(seconds) * 1000000000;
    serveUntil([&] { return bench::nowNs() > end; }, seconds * 1000 + 1000);
    std::printf("retrying a server that never answers for %d s: longest window-thread stall %.1f ms (target < 16 ms); "
                "still connected to nothing: %s\n",
                seconds, longest, form.SerialComm->Active() ? "no" : "yes");
    bench::disconnectPanel(form);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const int cycles = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    const int seconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 60;
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    bench::choosePlatform();
    QApplication app(argc, argv);
    setUpPanelApplication(app);
    bench::printPlatform();
    PortDirectory ports;
    TForm1 form;
    form.show();
    if (const int failed = backWhileTheBoxIsUp(form, ports, cycles)) return failed;
    return retriesOfASilentServer(form, ports, seconds);
}
