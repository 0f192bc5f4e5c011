// A transponder reached through ser2net over TLS with client authentication
// (ssl(..., clientauth) and its authdir), the simulator behind it, against the
// same behind plain telnet(rfc2217):
//
// - from the start of an opening (the serial component made active: TCP, the
//   TLS handshake, the RFC 2217 answer, the line set) to the first reply to a
//   query, decoded on the window thread; target under 100 ms over TLS;
// - the wake-ups of every thread of this process while the TLS link is open
//   and quiet, Auto off (the voluntary and involuntary context switches from
//   /proc/self/task/*/status); target 0 per second, keepalive probes aside.
//
//   secure_link_bench [openings] [seconds]     default 20 openings, 30 s
#include "PanelBench.h"

#include "framework/MessageBoxes.h"
#include "serial/Serial2.h"
#include "tests/testkit/CertificateKit.h"

#include <QCoreApplication>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int SimulatorPort = 1;
constexpr int NetworkPort = 2;

// Context switches so far of each thread, by "name id".
std::map<std::string, long> switchesByThread()
{
    std::map<std::string, long> all;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::string name;
        std::ifstream(task.path() / "comm") >> name;
        std::ifstream status(task.path() / "status");
        std::string line;
        long& count = all[name + " " + task.path().filename().string()];
        while (std::getline(status, line))
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0 || line.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
                count += std::stol(line.substr(line.find(':') + 1));
    }
    return all;
}

// Opens COM<NetworkPort> `openings` times, each time querying once; prints the
// times from the opening to the decoded reply.
bool timeOpenings(const char* what, int openings)
{
    std::vector<double> ms;
    for (int i = 0; i < openings; ++i) {
        TSerial serial;
        serial.setPort(NetworkPort);
        serial.setDataBits(d8bit);
        serial.setRxEventMode(rxMessage);
        bool replied = false;
        serial.setOnMessage([&](QObject*, const std::string&) { replied = true; });
        const long long start = bench::nowNs();
        serial.setActive(true);
        if (!serial.Active()) {
            std::fprintf(stderr, "%s: the port did not open (error %d)\n", what, serial.ErrorCode());
            return false;
        }
        serial.SendString("\x02" "s=?\x03");
        if (!runUntil([&] { return replied; }, 3000)) {
            std::fprintf(stderr, "%s: no reply\n", what);
            return false;
        }
        ms.push_back(bench::nsToMs(bench::nowNs() - start));
        serial.setActive(false);
        runFor(100);
    }
    std::sort(ms.begin(), ms.end());
    std::printf("  %-44s median %7.2f ms, min %7.2f, max %7.2f (%d openings)\n", what, ms[ms.size() / 2], ms.front(),
                ms.back(), openings);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    const int openings = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    const int seconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 30;
    bench::choosePlatform();
    QApplication app(argc, argv);
    bench::printPlatform();

    const CertificateKit kit;
    if (!kit.failure().isEmpty()) {
        std::fprintf(stderr, "the certificates were not made: %s\n", qPrintable(kit.failure()));
        return 1;
    }
    PortDirectory ports;
    fw::ScopedRecordingMessageBoxes boxes;
    SimulatorProcess simulator(SimulatorPort, {QStringLiteral("--rate"), QStringLiteral("0")});
    if (!simulator.ready()) {
        std::fprintf(stderr, "the simulator did not start\n");
        return 1;
    }
    const QString device = linkedDevice(QString::fromStdString(ports.entry(SimulatorPort)));
    const QString tlsFiles = QStringLiteral("ca=%1\ncert=%2\nkey=%3\n")
                                 .arg(kit.path(QStringLiteral("ca.pem")), kit.path(QStringLiteral("operator.pem")),
                                      kit.path(QStringLiteral("operator.key")));
    const struct {
        const char* what;
        Ser2netProcess::Tls tls;
    } servers[] = {
        {"telnet(rfc2217), plain", {}},
        {"telnet(rfc2217) over ssl(clientauth)",
         {kit.path(QStringLiteral("server.pem")), kit.path(QStringLiteral("server.key")), kit.path(QStringLiteral("auth"))}},
    };
    std::printf("opening to the first reply, through ser2net on localhost:\n");
    for (const auto& server : servers) {
        Ser2netProcess ser2net(device, Ser2netProcess::Accepter::Rfc2217, 9600, Ser2netProcess::CharDelay::ToNetworkAtOnce,
                               {}, server.tls);
        if (!ser2net.start()) {
            std::fprintf(stderr, "ser2net did not start: %s\n", qPrintable(ser2net.output()));
            return 1;
        }
        const bool tls = !server.tls.certificate.isEmpty();
        ports.write(NetworkPort, (ser2net.entry() + u'\n' + (tls ? tlsFiles : QString())).toStdString());
        if (!timeOpenings(server.what, openings)) return 1;
        if (!tls) continue;

        TSerial serial;
        serial.setPort(NetworkPort);
        serial.setActive(true);
        if (!serial.Active()) return 1;
        // What the opening set going (the server's notifications, TLS's
        // session tickets) has come and gone.
        runFor(3000);
        const auto before = switchesByThread();
        const long long start = bench::nowNs();
        runFor(seconds * 1000);
        const double wall = bench::nsToMs(bench::nowNs() - start) / 1000.0;
        long woken = 0;
        std::printf("the TLS link open and quiet, Auto off, %.1f s:\n", wall);
        for (const auto& [thread, count] : switchesByThread()) {
            const long delta = count - (before.count(thread) ? before.at(thread) : 0);
            woken += delta;
            std::printf("    %-28s %ld\n", thread.c_str(), delta);
        }
        std::printf("  all threads: %ld wake-ups (%.3f/s), the window's timer that ends the wait among them\n", woken,
                    woken / wall);
        serial.setActive(false);
    }
    return 0;
}
