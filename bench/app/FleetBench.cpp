// The fleet of 32 transponders at a 2 s interval: 24 on pseudo-terminals and 8
// through ser2net on 127.0.0.1. The transponders answer at once on a 9600
// bit/s line (PacedTransponder), in a child process so that this process's
// CPU time is the panel's alone. Printed:
//   - the panel's CPU while the fleet polls, and its resident memory above
//     the panel alone;
//   - each link's round against its line floor (the queries' and the
//     replies' time on the line);
//   - the other links' rounds while one hangs, against their usual time;
//   - the other links' rounds while one's far end stops reading (its line
//     full, as behind a hung bridge), against the line floor, with the
//     window thread's longest stall and the panel's CPU meanwhile;
//   - the longest stall of the window thread while the fleet opens with 8 of
//     the 32 servers not answering (full backlogs, not refusals).
// --picture FILE: 8 transponders (some local, some through ser2net, one
// silent, one squawking 7700) in the fleet window, saved to FILE and left on
// screen for 20 s for a picture of the whole screen.
// --room-picture FILE: one local transponder and a remote fleet's row
// squawking 7700, published to a broker of the benchmark's own and read
// from it.
#include "PanelBench.h"

#include "app/FleetWindow.h"
#include "mqtt/FleetPublisher.h"
#include "tests/testkit/CertificateKit.h"
#include "tests/testkit/LoopbackServer.h"
#include "tests/testkit/MosquittoProcess.h"
#include "tests/testkit/PacedTransponder.h"

#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <thread>
#include <fstream>
#include <map>
#include <memory>
#include <numeric>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int FirstPort = 101;

std::map<char, std::string> replies(const std::string& code)
{
    return {{'a', "a=1000"}, {'c', "c=" + code}, {'f', "f=1.2"}, {'i', "i=0"}, {'r', "r=Y"},   {'s', "s=t"},
            {'v', "v=27.9"}, {'o', "o=1532"},    {'u', "u=0"},   {'n', "n=04172"}, {'l', "l=0"}, {'d', "d=g"},
            {'z', "z=2.14"}, {'e', "e=0"}};
}

// The round's time on a 9600 bit/s line: every query and its reply.
double lineFloorMs()
{
    double ms = 0;
    for (const auto& [letter, reply] : replies("1200"))
        ms += PacedTransponder::frameOnLineMs(std::string(1, letter) + "=?") + PacedTransponder::frameOnLineMs(reply);
    return ms;
}

// The transponders in a child process: `codes[i]` is the code of line i,
// "" a line that never answers. "h N" on its command pipe silences line N;
// "s N" stops reading it and keeps its line full.
struct Transponders {
    pid_t pid = -1;
    int commands = -1;
    std::vector<std::string> lines;

    explicit Transponders(const std::vector<std::string>& codes)
    {
        int paths[2], orders[2];
        if (::pipe(paths) != 0 || ::pipe(orders) != 0) std::exit(1);
        pid = ::fork();
        if (pid == 0) {
            ::close(paths[0]);
            ::close(orders[1]);
            std::vector<std::unique_ptr<PtyPair>> ptys;
            std::vector<std::unique_ptr<PacedTransponder>> answering;
            std::string told;
            for (const std::string& code : codes) {
                ptys.push_back(std::make_unique<PtyPair>());
                answering.push_back(code.empty() ? nullptr
                                                 : std::make_unique<PacedTransponder>(ptys.back()->master(), replies(code)));
                told += ptys.back()->slavePath() + "\n";
            }
            if (::write(paths[1], told.data(), told.size()) < 0) ::_exit(1);
            ::close(paths[1]);
            FILE* in = ::fdopen(orders[0], "r");
            int line = 0;
            char order = 0;
            std::vector<std::thread> fillers;
            while (std::fscanf(in, " %c %d", &order, &line) == 2) {
                if (line < 0 || static_cast<std::size_t>(line) >= answering.size()) continue;
                answering[line].reset();
                if (order == 's') fillers.emplace_back([fd = ptys[line]->slaveHolder()] { keepFull(fd); });
            }
            ::_exit(0);
        }
        ::close(paths[1]);
        ::close(orders[0]);
        commands = orders[1];
        FILE* in = ::fdopen(paths[0], "r");
        char path[256];
        while (lines.size() < codes.size() && std::fscanf(in, "%255s", path) == 1) lines.emplace_back(path);
        std::fclose(in);
    }
    ~Transponders()
    {
        ::close(commands);
        ::waitpid(pid, nullptr, 0);
    }
    void hang(int line) const { tell("h " + std::to_string(line) + "\n"); }
    void stall(int line) const { tell("s " + std::to_string(line) + "\n"); }
    void tell(const std::string& order) const
    {
        if (::write(commands, order.data(), order.size()) < 0) std::perror("order");
    }
    // Keeps the way to a line's far end full, as a far end that reads nothing
    // would have it: the kernel frees a little room now and then, which is
    // filled again.
    static void keepFull(int slave)
    {
        ::fcntl(slave, F_SETFL, ::fcntl(slave, F_GETFL) | O_NONBLOCK);
        const std::string block(4096, 'x');
        for (;;) {
            for (const std::size_t size : {block.size(), std::size_t{1}})
                while (::write(slave, block.data(), size) > 0) {
                }
            ::usleep(20000);
        }
    }
};

// The links of the fleet: lines [0, local) on their pseudo-terminals, the rest
// through ser2net, each its own server.
struct Fleet {
    std::vector<std::unique_ptr<Ser2netProcess>> servers;

    bool map(const PortDirectory& ports, const Transponders& transponders, int local)
    {
        for (std::size_t i = 0; i < transponders.lines.size(); ++i) {
            const int port = FirstPort + static_cast<int>(i);
            if (static_cast<int>(i) < local) {
                ports.map(port, transponders.lines[i]);
                continue;
            }
            servers.push_back(std::make_unique<Ser2netProcess>(QString::fromStdString(transponders.lines[i]),
                                                               Ser2netProcess::Accepter::RawTcp, 9600,
                                                               Ser2netProcess::CharDelay::ToNetworkAtOnce));
            if (!servers.back()->start()) {
                std::fprintf(stderr, "ser2net did not start: %s\n", qPrintable(servers.back()->output()));
                return false;
            }
            ports.write(port, servers.back()->entry().toStdString() + "\n");
        }
        return true;
    }
};

// Each link's rounds, in ms, as they finish.
struct Rounds {
    std::map<int, std::vector<double>> ms;

    void follow(links::FleetModel& model)
    {
        for (int row = 0; row < model.rowCount(); ++row)
            QObject::connect(&model.link(row), &links::PolledLink::roundFinished,
                             [this, row](const transponder::SequenceRecord& record) {
                                 if (record.answered == 0) return;
                                 ms[row].push_back(std::chrono::duration<double, std::milli>(
                                                       std::chrono::system_clock::now() - record.time)
                                                       .count());
                             });
    }
    static double median(std::vector<double> values)
    {
        if (values.empty()) return 0;
        std::sort(values.begin(), values.end());
        return values[values.size() / 2];
    }
};

// The longest gap between the window thread's turns, sampled every millisecond.
struct StallWatch {
    QTimer sample;
    long long last = bench::nowNs();
    double longestMs = 0;
    StallWatch()
    {
        sample.setTimerType(Qt::PreciseTimer);
        QObject::connect(&sample, &QTimer::timeout, [this] {
            const long long now = bench::nowNs();
            longestMs = std::max(longestMs, bench::nsToMs(now - last));
            last = now;
        });
        sample.start(1);
    }
};

int measure(TForm1& form)
{
    PortDirectory ports;
    const std::vector<std::string> codes(32, "1200");
    Transponders transponders(codes);
    Fleet fleet;
    if (!fleet.map(ports, transponders, 24)) return 1;
    runFor(1000);
    const long panelKb = bench::statusKb("VmRSS");

    FleetWindow window(&form);
    window.model().setInterval(2000);
    for (int i = 0; i < 32; ++i) window.addPort(static_cast<sPorts>(FirstPort + i));
    window.show();
    Rounds rounds;
    rounds.follow(window.model());
    runFor(6000); // every link has opened and answered
    const double cpuBefore = bench::cpuSeconds();
    const long long wallBefore = bench::nowNs();
    runFor(30000);
    const double cpu = (bench::cpuSeconds() - cpuBefore) / (bench::nsToMs(bench::nowNs() - wallBefore) / 1000);
    const long fleetKb = bench::statusKb("VmRSS");

    const double floor = lineFloorMs();
    std::vector<double> usual;
    double worst = 0;
    for (auto& [row, ms] : rounds.ms) {
        usual.push_back(Rounds::median(ms));
        worst = std::max(worst, Rounds::median(ms) / floor);
    }
    std::printf("32 links at 2 s (24 on pseudo-terminals, 8 through ser2net):\n");
    std::printf("  panel CPU: %.2f %% of a core\n", cpu * 100);
    std::printf("  resident memory: panel alone %ld kB, with the fleet %ld kB: +%.1f MB\n", panelKb, fleetKb,
                (fleetKb - panelKb) / 1024.0);
    std::printf("  round, line floor %.1f ms: median of medians %.1f ms, worst link %.3fx the floor\n", floor,
                Rounds::median(usual), worst);
    double localWorst = 0, remoteWorst = 0;
    for (auto& [row, ms] : rounds.ms) (row < 24 ? localWorst : remoteWorst) = std::max(row < 24 ? localWorst : remoteWorst, Rounds::median(ms) / floor);
    std::printf("  worst pseudo-terminal link %.3fx, worst ser2net link %.3fx\n", localWorst, remoteWorst);

    std::map<int, double> before;
    for (auto& [row, ms] : rounds.ms) {
        before[row] = Rounds::median(ms);
        ms.clear();
    }
    transponders.hang(0);
    runFor(30000);
    double spread = 0;
    std::size_t counted = 0;
    for (auto& [row, ms] : rounds.ms) {
        if (row == 0 || ms.empty()) continue;
        spread = std::max(spread, std::abs(Rounds::median(ms) / before[row] - 1));
        ++counted;
    }
    std::printf("  one link hung (%s): %zu other links, worst median round %.1f %% off its usual\n",
                qPrintable(window.model().link(0).failure()), counted, spread * 100);

    for (auto& [row, ms] : rounds.ms) ms.clear();
    transponders.stall(1);
    StallWatch watch;
    const double stalledCpuBefore = bench::cpuSeconds();
    const long long stalledWallBefore = bench::nowNs();
    runFor(60000);
    const double stalledCpu = (bench::cpuSeconds() - stalledCpuBefore)
                              / (bench::nsToMs(bench::nowNs() - stalledWallBefore) / 1000);
    double stalledWorst = 0;
    counted = 0;
    for (auto& [row, ms] : rounds.ms) {
        if (row <= 1 || ms.empty()) continue;
        stalledWorst = std::max(stalledWorst, Rounds::median(ms) / floor);
        ++counted;
    }
    std::printf("  one link's far end stops reading (%s): %zu other links, worst median round %.3fx the floor; "
                "longest window-thread stall %.1f ms; panel CPU %.2f %% of a core\n",
                qPrintable(window.model().link(1).failure()), counted, stalledWorst, watch.longestMs, stalledCpu * 100);
    return 0;
}

int opening(TForm1& form)
{
    PortDirectory ports;
    Transponders transponders(std::vector<std::string>(24, "1200"));
    Fleet fleet;
    if (!fleet.map(ports, transponders, 16)) return 1;
    // Each full server: every connect to it hangs as towards a host that never answers.
    std::vector<std::unique_ptr<SilentListener>> full;
    for (int i = 0; i < 8; ++i) {
        full.push_back(std::make_unique<SilentListener>("127.0.0.1", 0));
        ports.write(FirstPort + 24 + i, "tcp://127.0.0.1:" + std::to_string(full.back()->port()) + "\n");
    }
    FleetWindow window(&form);
    window.model().setInterval(2000);
    window.show();
    runFor(500);
    StallWatch watch;
    const long long start = bench::nowNs();
    for (int i = 0; i < 32; ++i) window.addPort(static_cast<sPorts>(FirstPort + i));
    const double adding = bench::nsToMs(bench::nowNs() - start);
    runFor(12000);
    int answering = 0, failing = 0;
    for (int row = 0; row < window.model().rowCount(); ++row)
        (window.model().link(row).lastRecord() ? answering : failing) += 1;
    std::printf("opening 32 links, 8 servers not answering: adding them took %.1f ms, longest window-thread stall "
                "%.1f ms over 12 s; %d answering, %d failed (\"%s\")\n",
                adding, watch.longestMs, answering, failing, qPrintable(window.model().link(31).failure()));
    return 0;
}

int picture(TForm1& form, const QString& file)
{
    PortDirectory ports;
    // Five local, two through ser2net, one silent; the fourth squawks 7700.
    Transponders transponders({"1200", "4721", "0346", "7700", "2000", "", "1200", "5310"});
    Fleet fleet;
    std::vector<std::string> lines = transponders.lines;
    // Lines 6 and 7 through ser2net: the map puts the last two behind servers.
    if (!fleet.map(ports, transponders, 6)) return 1;
    form.show();
    FleetWindow window(&form);
    for (int i = 0; i < 8; ++i) window.addPort(static_cast<sPorts>(FirstPort + i));
    window.resize(1180, 330);
    window.move(40, 40);
    window.show();
    runFor(8000);
    window.grab().save(file);
    std::printf("saved %s\n", qPrintable(file));
    runFor(20000);
    return 0;
}

// The broker's settings for one of its users, over TLS with the kit's CA.
mqtt::BrokerSettings brokerFor(const MosquittoProcess& broker, const CertificateKit& kit, const QString& user)
{
    auto settings = std::get<mqtt::BrokerSettings>(mqtt::readBrokerSettings(broker.url().toStdString(), {}));
    settings.caFile = kit.path(QStringLiteral("ca.pem")).toStdString();
    settings.user = user.toStdString();
    settings.passwordFile = broker.passwordFile(user).toStdString();
    return std::get<mqtt::BrokerSettings>(mqtt::checkBrokerSettings(settings));
}

int roomPicture(TForm1& form, const QString& file)
{
    CertificateKit kit;
    MosquittoProcess broker({kit.path(QStringLiteral("server.pem")), kit.path(QStringLiteral("server.key")),
                             {QStringLiteral("tower-2")}, {QStringLiteral("supervisor")}});
    if (!kit.failure().isEmpty() || !broker.start()) {
        std::fprintf(stderr, "no broker: %s%s\n", qPrintable(kit.failure()), qPrintable(broker.output()));
        return 1;
    }
    PortDirectory ports;
    // The local row, and another machine's COM3 squawking 7700, published
    // under its own name as that machine's fleet would be.
    Transponders transponders({"1200", "7700"});
    ports.map(FirstPort, transponders.lines[0]);
    ports.map(FirstPort + 1, transponders.lines[1]);
    links::PolledLink tower(static_cast<sPorts>(FirstPort + 1));
    mqtt::FleetPublisher publisher(brokerFor(broker, kit, QStringLiteral("tower-2")));
    publisher.addLink(tower, QStringLiteral("COM3"));
    tower.start();
    publisher.start();

    form.show();
    FleetWindow window(&form);
    window.addPort(static_cast<sPorts>(FirstPort));
    window.room().addRemote(brokerFor(broker, kit, QStringLiteral("supervisor")));
    window.resize(1180, 200);
    window.move(40, 40);
    window.show();
    runFor(6000);
    window.grab().save(file);
    std::printf("saved %s\n", qPrintable(file));
    runFor(20000);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    bench::choosePlatform();
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    QApplication app(argc, argv);
    // The fleet's ports and interval stay out of the operator's settings.
    const QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    TForm1 form;
    const QStringList args = app.arguments();
    if (args.size() > 2 && args[1] == "--picture") return picture(form, args[2]);
    if (args.size() > 2 && args[1] == "--room-picture") return roomPicture(form, args[2]);
    if (const int failed = measure(form)) return failed;
    return opening(form);
}
