// xpdrctl's status read timed against its floor, and the program from start to
// exit.
//
// First in-process, over the serial component and the event loop as the
// program uses them: one status read (the fourteen queries, each sent as soon
// as the answer to the one before has arrived) against an instant transponder
// this program plays on a pseudo-terminal, holding each reply back until its
// last byte would have arrived on a 9600 bit/s line. The floor is the line time
// of the fourteen queries and replies; the panel's automatic sequence, which
// spaces its queries by 60 ms, cannot be faster than 14 x 60 ms plus the same
// line time.
//
// Then the pre-flight check as the program runs it (`xpdrctl check` with five
// expectations: the round of its five queries, the judging and the printed
// lines) against the same transponder; its floor is the line time of its five
// queries and replies.
//
// Then the program itself, `xpdrctl --port COM1 status`, started against the
// simulated transponder (no reply delay, a pseudo-terminal) and timed from
// posix_spawn() to waitpid(): median of ten.
//
//   xpdrctl_bench [reads]     default 20
#include "tests/testkit/PacedTransponder.h"
#include "tests/testkit/PortDirectory.h"
#include "tests/testkit/PtyPair.h"
#include "tests/testkit/SimulatorProcess.h"
#include "tools/xpdrctl/CommandLine.h"
#include "tools/xpdrctl/Commands.h"
#include "tools/xpdrctl/TransponderLink.h"
#include "transponder/MessageSet.h"
#include "transponder/QueryRound.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <numeric>
#include <sstream>
#include <spawn.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

namespace MessageSet = transponder::MessageSet;
using transponder::QueryRound;
using Clock = std::chrono::steady_clock;

constexpr int OwnLinePort = 3;
constexpr int SimulatorPort = 1;
constexpr double PanelSpacingMs = 60.0;

// What the simulator answers to each query of a sequence.
const std::map<char, std::string> Replies = {
    {'a', "a=1000"}, {'c', "c=1200"}, {'f', "f=1.2"}, {'i', "i=0"}, {'r', "r=Y"},  {'s', "s=t"},    {'v', "v=27.9"},
    {'o', "o=1532"}, {'u', "u=0"},    {'n', "n=04172"}, {'l', "l=0"}, {'d', "d=g"}, {'z', "z=2.14"}, {'e', "e=0"},
};

struct Stats {
    double median = 0, mean = 0, min = 0, max = 0;
};

Stats statsOf(std::vector<double> v)
{
    if (v.empty()) return {};
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    const double median = n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
    return {median, std::accumulate(v.begin(), v.end(), 0.0) / static_cast<double>(n), v.front(), v.back()};
}

double ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

std::vector<QueryRound::Query> statusQueries()
{
    std::vector<QueryRound::Query> queries;
    for (char letter : MessageSet::SequenceLetters) queries.push_back({MessageSet::Query(letter), letter});
    return queries;
}

bool timeStatusReads(int reads)
{
    PtyPair line;
    PortDirectory ports;
    ports.map(OwnLinePort, line.slavePath());
    const auto parsed = xpdrctl::parseCommandLine({"--port", "COM3", "status"});
    xpdrctl::TransponderLink link(*parsed.invocation, nullptr);
    if (!link.open()) return false;
    PacedTransponder transponder(line.master(), Replies);

    double floor = 0;
    for (const auto& [letter, reply] : Replies)
        floor += PacedTransponder::frameOnLineMs(MessageSet::Query(letter).substr(1, 3)) +
                 PacedTransponder::frameOnLineMs(reply);
    std::vector<double> times;
    for (int i = 0; i < reads; ++i) {
        QueryRound round(statusQueries(), {std::chrono::milliseconds(300), std::chrono::milliseconds(0)}, Clock::now());
        const auto start = Clock::now();
        if (!link.run(round)) return false;
        times.push_back(ms(Clock::now() - start));
        if (!round.record({}).unanswered.empty()) {
            std::fprintf(stderr, "a status read went unanswered\n");
            return false;
        }
        link.pause(std::chrono::milliseconds(20));
    }
    const Stats s = statsOf(times);
    const Stats late = statsOf(transponder.lateness());
    const double panelFloor = 14 * PanelSpacingMs + floor;
    std::printf("status read against an instant transponder on a 9600 bit/s line (%d reads):\n", reads);
    std::printf("  median %.2f ms (mean %.2f, min %.2f, max %.2f); line-time floor %.2f ms; %.3f x the floor\n",
                s.median, s.mean, s.min, s.max, floor, s.median / floor);
    std::printf("  the panel's spaced sequence cannot beat %.2f ms (14 x 60 ms + the line time): %.2f x as long\n",
                panelFloor, panelFloor / s.median);
    std::printf("  this transponder's replies late against the line: %.3f ms mean, %.3f ms max\n", late.mean, late.max);
    return true;
}

// The ping is left out: this transponder answers queries only, and a ping is
// a setting ("p=y").
bool timeChecks(int checks)
{
    PtyPair line;
    PortDirectory ports;
    ports.map(OwnLinePort, line.slavePath());
    const auto parsed = xpdrctl::parseCommandLine({"--port", "COM3", "check", "--expect", "mode=standby", "--expect",
                                                   "code=1200", "--expect", "replies=on", "--expect",
                                                   "volts=26.0..29.5", "--expect", "version=2.14"});
    xpdrctl::TransponderLink link(*parsed.invocation, nullptr);
    if (!link.open()) return false;
    PacedTransponder transponder(line.master(), Replies);

    double floor = 0;
    for (char letter : std::string("scrvz"))
        floor += PacedTransponder::frameOnLineMs(MessageSet::Query(letter).substr(1, 3)) +
                 PacedTransponder::frameOnLineMs(Replies.at(letter));
    std::vector<double> times;
    for (int i = 0; i < checks; ++i) {
        std::ostringstream out, err;
        const auto start = Clock::now();
        const int status = xpdrctl::runCommand(*parsed.invocation, link, out, err);
        times.push_back(ms(Clock::now() - start));
        if (status != 0) {
            std::fprintf(stderr, "a check failed:\n%s%s", out.str().c_str(), err.str().c_str());
            return false;
        }
        link.pause(std::chrono::milliseconds(20));
    }
    const Stats s = statsOf(times);
    std::printf("check of five expectations against an instant transponder on a 9600 bit/s line (%d checks):\n", checks);
    std::printf("  median %.2f ms (mean %.2f, min %.2f, max %.2f); line-time floor %.2f ms; %.3f x the floor\n",
                s.median, s.mean, s.min, s.max, floor, s.median / floor);
    return true;
}

bool timeProgram(int runs)
{
    PortDirectory ports;
    SimulatorProcess simulator(SimulatorPort, {QStringLiteral("--rate"), QStringLiteral("0")});
    if (!simulator.ready()) {
        std::fprintf(stderr, "the simulator did not start\n");
        return false;
    }
    char program[] = XPDRCTL_PROGRAM;
    char portOption[] = "--port";
    char port[] = "COM1";
    char verb[] = "status";
    char* argv[] = {program, portOption, port, verb, nullptr};
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);

    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        pid_t pid = 0;
        if (posix_spawn(&pid, program, &quiet, nullptr, argv, environ) != 0) return false;
        int status = 0;
        waitpid(pid, &status, 0);
        times.push_back(ms(Clock::now() - start));
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            std::fprintf(stderr, "xpdrctl ended with status %d\n", WEXITSTATUS(status));
            return false;
        }
    }
    posix_spawn_file_actions_destroy(&quiet);
    const Stats s = statsOf(times);
    std::printf("xpdrctl --port COM1 status against xpdrsim, start to exit (%d runs):\n", runs);
    std::printf("  median %.1f ms (min %.1f, max %.1f)\n", s.median, s.min, s.max);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    const int reads = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    QCoreApplication app(argc, argv);
    return timeStatusReads(reads) && timeChecks(reads) && timeProgram(10) ? 0 : 1;
}
