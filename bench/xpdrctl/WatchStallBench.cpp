// `xpdrctl watch` over two ports, one of whose far ends stops reading (its
// line full, as behind a hung bridge), against the same watch with both far
// ends healthy: COM1's rounds in the same time, and how long the program
// takes to end after SIGTERM. The transponders answer at once on a 9600 bit/s
// line (PacedTransponder).
//
//   watch_stall_bench [seconds]     default 10
#include "tests/testkit/ChildProcess.h"
#include "tests/testkit/PacedTransponder.h"
#include "tests/testkit/PortDirectory.h"
#include "tests/testkit/PtyPair.h"

#include <QCoreApplication>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

const std::map<char, std::string> Replies = {
    {'a', "a=1000"}, {'c', "c=1200"}, {'f', "f=1.2"}, {'i', "i=0"}, {'r', "r=Y"},   {'s', "s=t"},  {'v', "v=27.9"},
    {'o', "o=1532"}, {'u', "u=0"},    {'n', "n=04172"}, {'l', "l=0"}, {'d', "d=g"}, {'z', "z=2.14"}, {'e', "e=0"}};

// Keeps the way to the line's far end full until `stop`: the kernel frees a
// little room now and then, which is filled again.
void keepFull(int slave, const std::atomic<bool>& stop)
{
    ::fcntl(slave, F_SETFL, ::fcntl(slave, F_GETFL) | O_NONBLOCK);
    const std::string block(4096, 'x');
    while (!stop) {
        for (const std::size_t size : {block.size(), std::size_t{1}})
            while (::write(slave, block.data(), size) > 0) {
            }
        ::usleep(20000);
    }
}

struct Run {
    int rounds = 0;       // of the healthy port
    double stopMs = 0;    // SIGTERM to exit
    int exitCode = -1;
};

Run watch(const QStringList& ports, int seconds, const std::function<void()>& whileRunning)
{
    QStringList arguments;
    for (const QString& port : ports) arguments << QStringLiteral("--port") << port;
    arguments << QStringLiteral("watch") << QStringLiteral("--json") << QStringLiteral("--interval") << QStringLiteral("0.2");
    ChildProcess program;
    Run run;
    if (!program.start(QStringLiteral(XPDRCTL_PROGRAM), arguments)) return run;
    if (whileRunning) whileRunning();
    const auto end = Clock::now() + std::chrono::seconds(seconds);
    QByteArray output;
    while (Clock::now() < end) {
        output += program.readOutput();
        ::usleep(50000);
    }
    output += program.readOutput();
    for (const QByteArray& line : output.split('\n'))
        if (line.contains("\"port\":\"COM1\"")) ++run.rounds;
    const auto signalled = Clock::now();
    program.terminate(10000);
    run.stopMs = std::chrono::duration<double, std::milli>(Clock::now() - signalled).count();
    run.exitCode = program.exitCode();
    return run;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
    PortDirectory ports;
    PtyPair healthy;
    PacedTransponder transponder(healthy.master(), Replies);
    ports.map(1, healthy.slavePath());

    const QStringList both = {QStringLiteral("COM1"), QStringLiteral("COM2")};
    Run alone;
    {
        PtyPair second;
        PacedTransponder answering(second.master(), Replies);
        ports.map(2, second.slavePath());
        alone = watch(both, seconds, {});
    }
    PtyPair stalled;
    ports.map(2, stalled.slavePath());
    std::atomic<bool> stop{false};
    std::thread filler;
    // Opening flushes the line: it is filled once the watch has opened it.
    const Run beside = watch(both, seconds, [&] {
        ::usleep(500000);
        filler = std::thread([&] { keepFull(stalled.slaveHolder(), stop); });
    });
    stop = true;
    filler.join();

    std::printf("watch --interval 0.2 for %d s:\n", seconds);
    std::printf("  COM1 beside a healthy COM2: %d rounds; SIGTERM to exit %.1f ms (exit %d)\n", alone.rounds,
                alone.stopMs, alone.exitCode);
    std::printf("  COM1 beside COM2, whose far end stops reading: %d rounds (%.1f %% of alone); SIGTERM to exit "
                "%.1f ms (exit %d)\n",
                beside.rounds, alone.rounds ? 100.0 * beside.rounds / alone.rounds : 0.0, beside.stopMs,
                beside.exitCode);
    return 0;
}
