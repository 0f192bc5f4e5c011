// One port's server must not slow the others: a healthy raw port's rounds (8
// bytes echoed by its server, 10 ms apart) while another port of the same
// process opens rfc2217:// to a server that sends `flood` bytes at once and
// never negotiates, against the same beside a server that says nothing. The
// process's CPU time during each opening.
//
//   network_flood_bench [flood]     default 3000 bytes
#include "tests/testkit/LoopbackServer.h"
#include "tests/testkit/PortDirectory.h"
#include "platform/GensioLoop.h"
#include "platform/NetworkSerialDevice.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double cpuSeconds()
{
    rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Rounds on the healthy port while COM5 opens against a server that sends
// `flood` bytes (none: it only listens).
void measure(PortDirectory& ports, std::size_t flood)
{
    LoopbackServer echo;
    LoopbackServer other;
    std::ofstream(ports.path() + "/COM6") << "tcp://127.0.0.1:" << echo.port() << "\n";
    std::ofstream(ports.path() + "/COM5") << "rfc2217://127.0.0.1:" << other.port() << "\n";
    platform::NetworkSerialDevice healthy;
    std::thread accepting([&] { echo.accept(); });
    if (healthy.open("COM6") != 0) {
        std::printf("the healthy port did not open: %s\n", healthy.diagnosis().c_str());
        std::exit(1);
    }
    accepting.join();
    healthy.setEventMask(platform::EvRxChar);

    std::atomic<bool> done{false};
    const double cpuBefore = cpuSeconds();
    std::string diagnosis;
    std::thread opening([&] {
        platform::NetworkSerialDevice flooded;
        flooded.open("COM5");
        diagnosis = flooded.diagnosis();
        done = true;
    });
    std::thread serving([&] {
        if (other.accept() && flood > 0) other.send(std::string(flood, 'x'));
    });
    std::vector<double> rounds;
    while (!done) {
        const auto start = Clock::now();
        std::size_t taken = 0;
        healthy.write("ping1234", 8, 1000, taken);
        echo.send(echo.receive(8));
        std::string got;
        while (got.size() < 8) {
            std::uint32_t events = 0;
            healthy.wait(events);
            char buffer[16];
            std::size_t count = 0;
            healthy.read(buffer, sizeof buffer, count);
            got.append(buffer, count);
        }
        rounds.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    opening.join();
    serving.join();
    const double cpu = cpuSeconds() - cpuBefore;
    std::sort(rounds.begin(), rounds.end());
    std::printf("  beside %s: %zu rounds, median %.2f ms, max %.1f ms; process CPU %.2f s\n    (%s)\n",
                flood > 0 ? "the flood" : "a silent server", rounds.size(), rounds[rounds.size() / 2], rounds.back(),
                cpu, diagnosis.c_str());
}

} // namespace

int main(int argc, char** argv)
{
    const std::size_t flood = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 3000;
    PortDirectory ports;
    std::printf("a healthy port's rounds while another opens, %d servicing thread(s):\n",
                platform::GensioLoop::ServicingThreads);
    measure(ports, flood);
    measure(ports, 0);
    return 0;
}
