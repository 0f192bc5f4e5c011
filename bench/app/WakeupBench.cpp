// Wake-ups of the whole panel process: the voluntary and involuntary context
// switches of every thread of it, from /proc/self/task/*/status, over a window
// of the real event loop, with Auto off, in each state of the link: before the
// first Connect; connected to a quiet line; after Disconnect; waiting for a
// device that has vanished; waiting for a network port's entry that was
// removed; with an emergency-code alarm acknowledged and showing. Target: 0
// per second in each. The same alarm unacknowledged blinks, twice a second,
// for contrast; the link alarm a loss raises is acknowledged before the link's
// states are measured. And one more: a network port whose
// server (ser2net on localhost) has gone, where the retries, half a second
// after the loss and then doubling up to 8 s, are the only wake-ups there
// should be.
//
// The window is timed by one Qt timer of the benchmark's own, whose expiry
// wakes the window thread once at its end; that wake-up is in the figures.
//
//   wakeup_bench [seconds]     default 30
#include "PanelBench.h"

#include "app/AlarmControls.h"
#include "app/PanelApplication.h"
#include "framework/MessageBoxes.h"
#include "serial/Serial2.h"

#include <QCoreApplication>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <unistd.h>

namespace {

struct Switches {
    std::string name;
    long voluntary = 0;
    long involuntary = 0;
};

std::map<std::string, Switches> switches()
{
    std::map<std::string, Switches> all;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        Switches s;
        std::ifstream(task.path() / "comm") >> s.name;
        std::ifstream status(task.path() / "status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0) s.voluntary = std::stol(line.substr(24));
            if (line.rfind("nonvoluntary_ctxt_switches:", 0) == 0) s.involuntary = std::stol(line.substr(27));
        }
        all[task.path().filename().string()] = s;
    }
    return all;
}

void measure(int seconds, const char* state)
{
    runFor(200); // let what the last step started settle
    const auto before = switches();
    const long long start = bench::nowNs();
    runFor(seconds * 1000);
    const double wall = bench::nsToMs(bench::nowNs() - start) / 1000.0;
    const auto after = switches();
    long voluntary = 0;
    long involuntary = 0;
    std::printf("%s, %.1f s:\n", state, wall);
    for (const auto& [tid, a] : after) {
        const auto b = before.find(tid);
        const long v = a.voluntary - (b == before.end() ? 0 : b->second.voluntary);
        const long i = a.involuntary - (b == before.end() ? 0 : b->second.involuntary);
        voluntary += v;
        involuntary += i;
        const std::string who = tid == std::to_string(::getpid()) ? "window thread" : a.name + " " + tid;
        std::printf("    %-28s voluntary %5ld  involuntary %5ld\n", who.c_str(), v, i);
    }
    std::printf("  all %zu threads: voluntary %ld (%.3f/s), involuntary %ld (%.3f/s)\n", after.size(), voluntary,
                voluntary / wall, involuntary, involuntary / wall);
}

} // namespace

int main(int argc, char** argv)
{
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    bench::choosePlatform();
    QApplication app(argc, argv);
    setUpPanelApplication(app);
    bench::printPlatform();

    PortDirectory ports;
    PtyPair line;
    ports.map(1, line.slavePath());
    fw::ScopedRecordingMessageBoxes boxes;
    TForm1 form;
    form.show();
    form.activateWindow();
    runFor(500);
    measure(seconds, "before the first Connect");
    if (!bench::connectPanel(form, 1)) {
        std::fprintf(stderr, "the panel did not open COM1\n");
        return 1;
    }
    measure(seconds, "connected, Auto off, nothing on the line");

    line.send("\x02" "c=7700\x03");
    if (!runUntil([&] { return form.Alarms().model().shown() != nullptr; }, 2000)) {
        std::fprintf(stderr, "the panel raised no alarm for 7700\n");
        return 1;
    }
    measure(seconds, "connected, the 7700 alarm unacknowledged (blinking)");
    form.Alarms().acknowledge();
    // The link quality counts the reply's age once a second for a minute; past
    // it, only the alarm could wake anyone.
    runFor(61'000);
    measure(seconds, "connected, the 7700 alarm acknowledged and showing, a minute after the reply");

    bench::disconnectPanel(form);
    measure(seconds, "after Disconnect");

    if (!bench::connectPanel(form, 1)) {
        std::fprintf(stderr, "the panel did not open COM1 again\n");
        return 1;
    }
    line.closeMaster();
    if (!runUntil([&] { return !boxes.shown.empty(); }, 2000)) {
        std::fprintf(stderr, "the panel did not notice the line hang up\n");
        return 1;
    }
    // The loss raises the link alarm, which blinks until acknowledged: what is
    // measured here is the link's own share.
    form.Alarms().acknowledge();
    measure(seconds, form.mnuReconnect->isChecked() ? "waiting for the vanished device (Reconnect automatically on)"
                                                    : "the device vanished (Reconnect automatically is off: not waiting)");

    bench::disconnectPanel(form);
    PtyPair served;
    Ser2netProcess ser2net(QString::fromStdString(served.slavePath()), Ser2netProcess::Accepter::Rfc2217);
    if (!bench::connectThroughSer2net(form, ports, ser2net, 4)) return 1;
    const std::size_t reports = boxes.shown.size();
    ser2net.kill();
    if (!runUntil([&] { return boxes.shown.size() > reports; }, 2000)) {
        std::fprintf(stderr, "the panel did not notice ser2net go\n");
        return 1;
    }
    form.Alarms().acknowledge();
    measure(seconds, "retrying a network port whose server has gone (retries after 0.5, 1.5, 3.5, 7.5 s, then every 8 s)");

    // Nothing to try while the entry is away: a retry could only fall back on
    // a built-in device, which it never does.
    std::filesystem::remove(ports.path() + "/COM4");
    measure(seconds, "waiting for the network port's entry, removed");
    return 0;
}
