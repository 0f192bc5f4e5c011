// Resident memory of the panel with the session at its fullest: the traffic
// monitor filled to its cap of lines and every trend series to its cap of
// points (as after a long session), both windows open on the whole session,
// the session recorded, and then Auto against the simulated transponder (its
// interrogation reports on) for ten minutes. VmRSS from /proc/self/status
// every 30 s; the figure held to the target is the peak, and the growth over
// the last five minutes shows whether anything still piles up.
//
//   session_memory_bench [minutes]     default 10
#include "PanelBench.h"

#include "app/PanelApplication.h"
#include "app/SessionControls.h"
#include "app/TrendsWindow.h"
#include "session/TrafficModel.h"
#include "session/TrendData.h"
#include "session/TrendSeries.h"
#include "transponder/MessageSet.h"
#include "transponder/SequenceRecord.h"

#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <string>

namespace {

constexpr int Port = 1;

double mb(long kb)
{
    return static_cast<double>(kb) / 1024.0;
}

// A long session's worth of lines and points, one second apart, ending now.
void fillToTheCaps(SessionControls& session)
{
    using namespace std::chrono;
    namespace MessageSet = transponder::MessageSet;
    using session::TrafficDirection;
    const auto now = system_clock::now();
    const auto at = [&](std::size_t i, std::size_t of) { return now - seconds(of - i); };

    const std::size_t lines = session::TrafficModel::MaxLines;
    for (std::size_t i = 0; i < lines; ++i) {
        const bool sent = i % 2 == 0;
        const char letter = MessageSet::SequenceLetters[(i / 2) % MessageSet::SequenceLetters.size()];
        session.traffic().traffic({at(i, lines), sent ? TrafficDirection::Sent : TrafficDirection::Received,
                                   sent ? MessageSet::Query(letter) : MessageSet::Set(letter, std::to_string(i))});
    }
    const std::size_t points = session::TrendSeries::MaxPoints;
    session::TrendData& trends = session.trends();
    for (std::size_t i = 0; i < points; ++i) {
        const auto time = at(i, points);
        trends.traffic({time, TrafficDirection::Received, MessageSet::Set('a', std::to_string(1000 + i % 500))});
        trends.traffic({time, TrafficDirection::Received, MessageSet::Set('v', "27.9")});
        trends.traffic({time, TrafficDirection::Received, MessageSet::Set('f', "1.2")});
        trends.traffic({time, TrafficDirection::Sent, MessageSet::FirePing()});
        trends.traffic({time + milliseconds(40), TrafficDirection::Received, MessageSet::Set('p', "Y")});
        transponder::SequenceRecord record;
        record.time = time;
        record.answered = 14;
        trends.sequenceEnded(record);
    }
}

} // namespace

int main(int argc, char** argv)
{
    const int minutes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    bench::choosePlatform();
    QApplication app(argc, argv);
    setUpPanelApplication(app);
    bench::printPlatform();

    PortDirectory ports;
    QTemporaryDir dir;
    SimulatorProcess simulator(Port, {});
    if (!simulator.ready()) {
        std::fprintf(stderr, "the simulator did not start\n");
        return 1;
    }
    TForm1 form;
    form.show();
    runFor(500);
    std::printf("panel shown:                                 VmRSS %6.1f MB\n", mb(bench::statusKb("VmRSS")));
    SessionControls& session = form.Session();
    fillToTheCaps(session);
    std::printf("monitor at %zu lines, %zu points a series:  VmRSS %6.1f MB\n", session.traffic().lineCount(),
                session.trends().series(session::TrendData::Altitude).points().size(), mb(bench::statusKb("VmRSS")));
    session.showMonitor();
    session.showTrends()->setSpan(TrendsWindow::Everything);
    runFor(1000);
    std::printf("both windows open, the whole session shown:  VmRSS %6.1f MB\n", mb(bench::statusKb("VmRSS")));
    if (!session.startRecording(dir.filePath(QStringLiteral("session.jsonl"))) || !bench::connectPanel(form, Port)) {
        std::fprintf(stderr, "the panel did not record or did not open COM%d\n", Port);
        return 1;
    }
    bench::pressAuto(form);
    long atHalf = 0;
    long last = 0;
    for (int s = 30; s <= minutes * 60; s += 30) {
        const double cpuBefore = bench::cpuSeconds();
        runFor(30'000);
        last = bench::statusKb("VmRSS");
        if (s == minutes * 30) atHalf = last;
        std::printf("after %4d s of Auto:  VmRSS %6.1f MB   (CPU %.1f %% of a core over the 30 s)\n", s, mb(last),
                    100.0 * (bench::cpuSeconds() - cpuBefore) / 30.0);
    }
    std::printf("peak (VmHWM):          VmHWM %6.1f MB   (target: resident < 60 MB)\n", mb(bench::statusKb("VmHWM")));
    std::printf("growth over the last %d s: %+.1f MB   (target: none)\n", minutes * 30, mb(last - atHalf));
    return 0;
}
