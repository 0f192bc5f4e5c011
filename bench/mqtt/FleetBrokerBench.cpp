// The operations room on this machine: 32 links polled every 2 s and
// published in TLS to a broker of our own, read by 10 viewers (xpdrctl watch
// --mqtt-subscribe, each a process of its own). Prints the time from a state's
// publication to each viewer (median, 99th percentile), the CPU the
// publishing adds to the polling process (the same links polled without it
// first), the broker's resident memory, and, after the broker is stopped for
// a while and started again, how long until every viewer shows every row
// again and whether any viewer saw a row's states out of order. The
// transponders answer at once on a 9600 bit/s line (PacedTransponder).
//
//   fleet_broker_bench [seconds-measured [seconds-stopped]]     default 30 30
#include "links/PolledLink.h"
#include "mqtt/FleetPublisher.h"
#include "tests/testkit/CertificateKit.h"
#include "tests/testkit/ChildProcess.h"
#include "tests/testkit/EventLoopWait.h"
#include "tests/testkit/MosquittoProcess.h"
#include "tests/testkit/PacedTransponder.h"
#include "tests/testkit/PortDirectory.h"
#include "tests/testkit/PtyPair.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <set>
#include <ctime>
#include <sys/resource.h>
#include <vector>

namespace {

constexpr int Links = 32;
constexpr int Viewers = 10;
constexpr unsigned IntervalMs = 2000;

const std::map<char, std::string> Replies = {
    {'a', "a=1000"}, {'c', "c=1200"}, {'f', "f=1.2"}, {'i', "i=0"}, {'r', "r=Y"},   {'s', "s=t"},  {'v', "v=27.9"},
    {'o', "o=1532"}, {'u', "u=0"},    {'n', "n=04172"}, {'l', "l=0"}, {'d', "d=g"}, {'z', "z=2.14"}, {'e', "e=0"}};

double threadCpuSeconds()
{
    timespec now {};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec + now.tv_nsec / 1e9;
}

double cpuSeconds()
{
    rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long residentKb(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').front().toLong();
    return -1;
}

double percentile(std::vector<double> values, double share)
{
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<std::size_t>(share * values.size()))];
}

// One viewer's process and what it has printed, line by line.
struct Viewer {
    ChildProcess process;
    QByteArray pending;
    std::vector<double> latencies;           // ms, messages sent while it watched
    std::map<QString, qint64> lastPublished; // by port: the last publication time seen
    std::set<QString> shownSince;            // ports shown with a state published after `since`
    qint64 since = 0;
    int outOfOrder = 0;

    void read()
    {
        pending += process.readOutput();
        for (qsizetype end; (end = pending.indexOf('\n')) >= 0; pending.remove(0, end + 1)) {
            const QJsonObject row = QJsonDocument::fromJson(pending.left(end)).object();
            if (!row.contains(QLatin1String("published")) || !row.contains(QLatin1String("time"))) continue;
            const QString port = row.value(QLatin1String("port")).toString();
            const qint64 published =
                QDateTime::fromString(row.value(QLatin1String("published")).toString(), Qt::ISODateWithMs).toMSecsSinceEpoch();
            if (row.contains(QLatin1String("clockDifferenceMs")))
                latencies.push_back(row.value(QLatin1String("clockDifferenceMs")).toDouble());
            if (published < lastPublished[port]) ++outOfOrder;
            lastPublished[port] = std::max(lastPublished[port], published);
            if (published >= since) shownSince.insert(port);
        }
    }
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int measured = argc > 1 ? std::atoi(argv[1]) : 30;
    const int stopped = argc > 2 ? std::atoi(argv[2]) : 30;

    CertificateKit kit;
    MosquittoProcess broker({kit.path(QStringLiteral("server.pem")), kit.path(QStringLiteral("server.key")),
                             {QStringLiteral("bench")}, {QStringLiteral("viewer")}, false});
    if (!kit.failure().isEmpty() || !broker.start()) {
        std::fprintf(stderr, "the broker did not start: %s\n", qPrintable(broker.output()));
        return 1;
    }
    PortDirectory ports;
    std::vector<std::unique_ptr<PtyPair>> lines;
    std::vector<std::unique_ptr<PacedTransponder>> transponders;
    std::vector<std::unique_ptr<links::PolledLink>> polled;
    for (int i = 1; i <= Links; ++i) {
        lines.push_back(std::make_unique<PtyPair>());
        ports.map(i, lines.back()->slavePath());
        transponders.push_back(std::make_unique<PacedTransponder>(lines.back()->master(), Replies));
        polled.push_back(std::make_unique<links::PolledLink>(static_cast<sPorts>(i)));
        polled.back()->setInterval(IntervalMs);
        polled.back()->start();
    }
    runFor(3000); // every port open and polling
    double cpu = cpuSeconds();
    runFor(measured * 1000);
    const double pollingOnly = cpuSeconds() - cpu;

    mqtt::BrokerSettings settings;
    settings.host = "127.0.0.1";
    settings.port = broker.port();
    settings.tls = true;
    settings.caFile = kit.path(QStringLiteral("ca.pem")).toStdString();
    settings.user = "bench";
    settings.passwordFile = broker.passwordFile(QStringLiteral("bench")).toStdString();
    mqtt::FleetPublisher publisher(settings);
    for (int i = 1; i <= Links; ++i) publisher.addLink(*polled[i - 1], QStringLiteral("COM%1").arg(i));
    publisher.start();

    QTemporaryDir folder;
    const QString config = folder.filePath(QStringLiteral("viewer.broker"));
    QFile file(config);
    file.open(QIODevice::WriteOnly);
    file.write(QStringLiteral("ca=%1\nuser=viewer\npassword-file=%2\n")
                   .arg(kit.path(QStringLiteral("ca.pem")), broker.passwordFile(QStringLiteral("viewer")))
                   .toUtf8());
    file.close();
    std::vector<std::unique_ptr<Viewer>> viewers;
    for (int i = 0; i < Viewers; ++i) {
        viewers.push_back(std::make_unique<Viewer>());
        viewers.back()->process.start(QStringLiteral(XPDRCTL_PROGRAM),
                                      {QStringLiteral("watch"), QStringLiteral("--mqtt-subscribe"), broker.url(),
                                       QStringLiteral("--mqtt-config"), config});
    }
    const auto everyViewerShowsEveryRow = [&] {
        for (auto& viewer : viewers) {
            viewer->read();
            if (viewer->shownSince.size() < static_cast<std::size_t>(Links)) return false;
        }
        return true;
    };
    if (!runUntil(everyViewerShowsEveryRow, 30000)) std::fprintf(stderr, "not every viewer showed every row\n");
    for (auto& viewer : viewers) viewer->latencies.clear();

    // What reading the viewers' output costs here is the benchmark's, not the
    // publishing's: it is taken off.
    double reading = 0;
    cpu = cpuSeconds();
    QElapsedTimer elapsed;
    elapsed.start();
    runUntil([&] {
        const double before = threadCpuSeconds();
        for (auto& viewer : viewers) viewer->read();
        reading += threadCpuSeconds() - before;
        return elapsed.elapsed() >= measured * 1000;
    }, measured * 1000 + 1000);
    const double publishing = cpuSeconds() - cpu - reading;
    std::vector<double> latencies;
    for (auto& viewer : viewers) latencies.insert(latencies.end(), viewer->latencies.begin(), viewer->latencies.end());
    const long brokerKb = residentKb(broker.pid());

    broker.stop();
    runUntil([&] {
        for (auto& viewer : viewers) viewer->read();
        return false;
    }, stopped * 1000);
    const qint64 back = QDateTime::currentMSecsSinceEpoch();
    for (auto& viewer : viewers) {
        viewer->since = back;
        viewer->shownSince.clear();
    }
    QElapsedTimer restart;
    broker.start();
    restart.start();
    const bool shown = runUntil(everyViewerShowsEveryRow, 60000);
    const double restartMs = restart.elapsed();
    int outOfOrder = 0;
    for (auto& viewer : viewers) outOfOrder += viewer->outOfOrder;

    std::printf("%d links at %u ms published (TLS), %d viewers, %d s measured\n", Links, IntervalMs, Viewers, measured);
    std::printf("publication to viewer: median %.1f ms, 99th percentile %.1f ms (%zu messages)\n",
                percentile(latencies, 0.5), percentile(latencies, 0.99), latencies.size());
    std::printf("polling only: %.2f %% of a core; with publishing: %.2f %%; publishing adds %.2f %%\n",
                100 * pollingOnly / measured, 100 * publishing / measured, 100 * (publishing - pollingOnly) / measured);
    std::printf("broker resident memory: %ld kB\n", brokerKb);
    if (shown)
        std::printf("broker stopped %d s: every viewer shows every row again %.0f ms after it is back\n", stopped, restartMs);
    else
        std::printf("broker stopped %d s: not every viewer showed every row within 60 s of its return\n", stopped);
    std::printf("states seen out of order by a viewer: %d\n", outOfOrder);
    for (auto& viewer : viewers) viewer->process.terminate();
    return 0;
}
