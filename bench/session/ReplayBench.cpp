// Query to reply through the replayed transponder, against the live
// simulator's: each program in turn on a pseudo-terminal linked as COM1, this
// program asking the fourteen items of a sequence over and over, each query
// written as soon as the reply before it has been read, timed from the write()
// of the query to the read() that brings the reply's ETX. The recording
// replayed is the generator's (bench/session), at speed 1.
//
//   replay_bench [queries]      default 2000
#include "bench/session/RecordingGenerator.h"
#include "tests/testkit/PortDirectory.h"
#include "tests/testkit/SimulatorProcess.h"
#include "transponder/MessageSet.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
namespace MessageSet = transponder::MessageSet;

struct Figures {
    double median = 0, p99 = 0, max = 0;
};

Figures figuresOf(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return {v[v.size() / 2], v[v.size() * 99 / 100], v.back()};
}

// The query's reply, read up to its ETX; false after a second without it.
bool awaitReply(int fd)
{
    char buffer[256];
    const auto deadline = Clock::now() + std::chrono::seconds(1);
    while (Clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 1000) <= 0) continue;
        const ssize_t n = read(fd, buffer, sizeof buffer);
        for (ssize_t i = 0; i < n; ++i)
            if (buffer[i] == MessageSet::ETX) return true;
    }
    return false;
}

bool measure(const char* name, const QStringList& options, int queries, Figures& figures)
{
    PortDirectory ports;
    SimulatorProcess simulator(1, options);
    if (!simulator.ready()) {
        std::fprintf(stderr, "%s: the simulator did not start\n", name);
        return false;
    }
    const int fd = open(ports.entry(1).c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0) return false;
    termios raw{};
    tcgetattr(fd, &raw);
    cfmakeraw(&raw);
    tcsetattr(fd, TCSANOW, &raw);
    std::vector<double> times;
    for (int i = 0; i < queries; ++i) {
        const auto& letters = MessageSet::SequenceLetters;
        const std::string query = MessageSet::Query(letters[static_cast<std::size_t>(i) % letters.size()]);
        const auto start = Clock::now();
        if (write(fd, query.data(), query.size()) != static_cast<ssize_t>(query.size()) || !awaitReply(fd)) {
            std::fprintf(stderr, "%s: query %d went unanswered\n", name, i);
            close(fd);
            return false;
        }
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    close(fd);
    figures = figuresOf(times);
    std::printf("%-28s median %.3f ms, 99th %.3f ms, max %.3f ms (%d queries)\n", name, figures.median, figures.p99,
                figures.max, queries);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int queries = argc > 1 ? std::max(100, std::atoi(argv[1])) : 2000;
    QTemporaryDir dir;
    const QString recording = dir.filePath(QStringLiteral("recording.jsonl"));
    // Long enough to outlast the run at speed 1: a sequence every 2 s.
    if (!bench::writeRecording(recording, 29ull * 600)) return 1;

    Figures live, replayed;
    if (!measure("live simulator:", {QStringLiteral("--rate"), QStringLiteral("0")}, queries, live)) return 1;
    if (!measure("replay at speed 1:", {QStringLiteral("--replay"), recording}, queries, replayed)) return 1;
    std::printf("replay against live: median %+.3f ms, 99th %+.3f ms (target: within 1 ms)\n",
                replayed.median - live.median, replayed.p99 - live.p99);
    return 0;
}
