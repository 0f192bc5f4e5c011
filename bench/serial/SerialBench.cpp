// Figures of the serial component on a pseudo-terminal: message throughput
// through assembly and hand-off, latency from the line to the handler, the
// event thread's cost on an idle open port, and how long closing takes while
// the event thread waits on a hand-off.
#include "serial/Serial2.h"
#include "tests/testkit/PortDirectory.h"
#include "tests/testkit/PtyPair.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

constexpr int PortNumber = 7;

double seconds(Clock::duration span)
{
    return std::chrono::duration<double>(span).count();
}

template <class Done>
void serveUntil(Done done)
{
    while (!done()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
}

std::set<std::string> tasks()
{
    std::set<std::string> ids;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task"))
        ids.insert(entry.path().filename().string());
    return ids;
}

// Nanoseconds a thread of ours has spent on a processor.
long long runTimeNs(const std::string& tid)
{
    std::ifstream in("/proc/self/task/" + tid + "/schedstat");
    long long ns = -1;
    in >> ns;
    return ns;
}

struct Line {
    PortDirectory ports;
    PtyPair pty;
    Line() { ports.map(PortNumber, pty.slavePath()); }
};

void configure(TSerial& serial)
{
    serial.setPort(PortNumber);
    serial.setDataBits(d8bit);
    serial.setBaudrate(115200);
    serial.setRxEventMode(rxMessage);
}

void throughput(std::size_t messageSize, std::size_t totalBytes)
{
    Line line;
    TSerial serial;
    configure(serial);
    std::size_t received = 0;
    std::size_t messages = 0;
    serial.setOnMessage([&](QObject*, const std::string& message) {
        received += message.size();
        ++messages;
    });
    serial.setActive(true);

    const std::string frame = "\x02" + std::string(messageSize - 2, 'd') + "\x03";
    const std::size_t count = totalBytes / messageSize;
    std::string burst;
    for (std::size_t i = 0; i < 64; ++i) burst += frame;
    const auto start = Clock::now();
    std::thread writer([&] {
        for (std::size_t sent = 0; sent < count; sent += 64) line.pty.send(burst);
    });
    const std::size_t expected = ((count + 63) / 64) * 64;
    serveUntil([&] { return messages >= expected; });
    const double elapsed = seconds(Clock::now() - start);
    writer.join();
    std::printf("  %5zu-byte messages: %8.2f MB/s (%zu messages, %.2f s)\n", messageSize,
                double(received) / elapsed / 1e6, messages, elapsed);
}

void latency()
{
    Line line;
    TSerial serial;
    configure(serial);
    std::atomic<bool> arrived{false};
    Clock::time_point at;
    serial.setOnMessage([&](QObject*, const std::string&) {
        at = Clock::now();
        arrived = true;
    });
    serial.setActive(true);
    std::vector<double> samples;
    for (int i = 0; i < 300; ++i) {
        arrived = false;
        const auto sent = Clock::now();
        line.pty.send("\x02" "c=1234\x03");
        serveUntil([&] { return arrived.load(); });
        samples.push_back(seconds(at - sent) * 1e3);
    }
    std::sort(samples.begin(), samples.end());
    std::printf("line -> OnMessage: median %.3f ms, 99th %.3f ms, max %.3f ms\n", samples[samples.size() / 2],
                samples[samples.size() * 99 / 100], samples.back());
}

void idleCost()
{
    Line line;
    const auto before = tasks();
    TSerial serial;
    configure(serial);
    serial.setOnMessage([](QObject*, const std::string&) {});
    serial.setActive(true);
    std::this_thread::sleep_for(50ms);
    std::string eventThread;
    for (const auto& id : tasks())
        if (!before.count(id)) eventThread = id;
    if (eventThread.empty()) {
        std::printf("idle open port: event thread not found\n");
        return;
    }
    const long long startNs = runTimeNs(eventThread);
    std::printf("  (event thread %s has run %.3f ms since it started)\n", eventThread.c_str(), double(startNs) / 1e6);
    const auto start = Clock::now();
    QEventLoop loop;
    QTimer::singleShot(5000, &loop, &QEventLoop::quit);
    loop.exec();
    const double elapsed = seconds(Clock::now() - start);
    const double used = double(runTimeNs(eventThread) - startNs) / 1e9;
    std::printf("idle open port, %.1f s: event thread %.3f ms of CPU = %.4f %% of a core\n", elapsed, used * 1e3,
                100.0 * used / elapsed);
}

void closeWithPendingHandOff()
{
    Line line;
    TSerial serial;
    configure(serial);
    serial.setOnMessage([](QObject*, const std::string&) {});
    std::vector<double> samples;
    for (int i = 0; i < 30; ++i) {
        serial.setActive(true);
        line.pty.send("\x02" "c=1234\x03");
        // Not serving events: the thread reads the frame and blocks handing it over.
        while (serial.RxWaiting() != 0) std::this_thread::sleep_for(1ms);
        std::this_thread::sleep_for(10ms);
        const auto start = Clock::now();
        serial.setActive(false);
        samples.push_back(seconds(Clock::now() - start) * 1e3);
    }
    std::sort(samples.begin(), samples.end());
    std::printf("close with a hand-off pending: median %.3f ms, max %.3f ms\n", samples[samples.size() / 2],
                samples.back());
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::printf("message assembly and hand-off through a pty (target >= 1 MB/s):\n");
    throughput(16, 2'000'000);
    throughput(256, 20'000'000);
    throughput(4096, 40'000'000);
    latency();
    idleCost();
    closeWithPendingHandOff();
    return 0;
}
