// One automatic sequence timed against its floor: fourteen queries, each sent
// 60 ms (the query timer) after the reply to the one before was decoded.
//
// First against the simulated transponder with no reply delay. A
// pseudo-terminal passes bytes at once, whatever the baud rate, so the floor of
// that run is 14 x 60 ms plus the simulator's turnaround, both read from its
// --log time stamps (1 ms resolution).
//
// Then against a transponder this program plays itself on a pseudo-terminal,
// answering with the simulator's own replies, and holding each reply back until
// its last byte would have arrived on a 9600 bit/s line (10 bits a byte): the
// query's time on the wire plus the reply's. That run's floor is 14 x 60 ms plus
// the line time of 14 queries and 14 replies, the figure a real line would give
// with an instant transponder; its time stamps are in nanoseconds.
//
// Then the same transponder and line behind ser2net on localhost: a raw TCP
// accepter and a telnet(rfc2217) one, each sending what it reads from the line
// at once (chardelay: false), and telnet(rfc2217) with ser2net's default wait
// of two character times before it sends, and telnet(rfc2217) over TLS with
// client authentication. The same floor, and the figure set beside the run on
// the pseudo-terminal alone.
//
// And last the pseudo-terminal run again, three times with the traffic monitor
// and the trends open and the session being recorded, and three times with all
// three closed, in turn.
//
// A sequence starts when the Auto lamp turns red (the countdown reached zero)
// and its last query goes out when the lamp turns green, both seen in-process
// from the window thread.
//
//   sequence_bench [sequences]     default 5
#include "PanelBench.h"

#include "app/PanelApplication.h"
#include "app/SessionControls.h"
#include "app/TrafficMonitor.h"
#include "app/TrendsWindow.h"
#include "framework/Colors.h"
#include "tests/testkit/CertificateKit.h"
#include "tests/testkit/PacedTransponder.h"
#include "tests/testkit/Ser2netProcess.h"
#include "tests/testkit/SimulatorLog.h"
#include "transponder/MessageSet.h"
#include "widgets/AbLED.h"

#include <QAbstractEventDispatcher>
#include <QEventLoop>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <fstream>
#include <map>
#include <numeric>
#include <vector>

using bench::control;
namespace MessageSet = transponder::MessageSet;

namespace {

constexpr int SimulatorPort = 1;
constexpr int OwnLinePort = 3;
constexpr int NetworkPort = 4;
constexpr double QuerySpacingMs = 60.0;
// Seconds between sequences: long enough that the link watchdog, five seconds
// after a start, never falls inside a sequence and cuts it short.
constexpr int SequenceSeconds = 2;
// Rounds of the paced run with the session's windows closed and open in turn.
constexpr int SessionRounds = 3;

const std::string Letters(MessageSet::SequenceLetters.begin(), MessageSet::SequenceLetters.end());


// One complete sequence on the wire: the fourteen queries in order, each with
// the reply that followed it.
struct WireSequence {
    std::vector<const LoggedFrame*> queries;
    std::vector<const LoggedFrame*> replies;
};

std::vector<WireSequence> sequencesOn(const std::vector<LoggedFrame>& frames)
{
    std::vector<WireSequence> found;
    WireSequence current;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const LoggedFrame& f = frames[i];
        if (!f.in) continue;
        const std::size_t step = current.queries.size();
        if (f.content != std::string(1, Letters[step]) + "=?") {
            current = {};
            if (f.content != std::string(1, Letters[0]) + "=?") continue;
        }
        const LoggedFrame* reply = nullptr;
        for (std::size_t j = i + 1; j < frames.size() && !frames[j].in; ++j)
            if (frames[j].content[0] == f.content[0]) {
                reply = &frames[j];
                break;
            }
        if (!reply) {
            current = {};
            continue;
        }
        current.queries.push_back(&f);
        current.replies.push_back(reply);
        if (current.queries.size() == Letters.size()) {
            found.push_back(current);
            current = {};
        }
    }
    return found;
}

// Watches the Auto lamp's on colour from the window thread: before every event
// it delivers and after every idle call, so a change is seen right after the
// handler that made it.
class LampWatch : public QObject {
public:
    explicit LampWatch(TAbLED& lamp)
        : lamp_(lamp)
        , last_(lamp.LED().ColorOn())
    {
        qApp->installEventFilter(this);
        connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this,
                [this] { look(); });
    }
    ~LampWatch() override { qApp->removeEventFilter(this); }

    std::vector<long long> reds;   // sequence starts, ns
    std::vector<long long> greens; // last query sent (or the watchdog), ns

    // Runs the event loop until `count` sequences have ended; false on time-out.
    bool runUntilEnded(std::size_t count, int timeoutMs)
    {
        QEventLoop loop;
        loop_ = &loop;
        wanted_ = count;
        QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
        loop.exec();
        loop_ = nullptr;
        return greens.size() >= count;
    }

protected:
    bool eventFilter(QObject*, QEvent*) override
    {
        look();
        return false;
    }

private:
    void look()
    {
        const TColor now = lamp_.LED().ColorOn();
        if (now == last_) return;
        last_ = now;
        const long long at = bench::nowNs();
        if (now == clRed) reds.push_back(at);
        if (now == clGreen && !reds.empty()) {
            greens.push_back(at);
            if (loop_ && greens.size() >= wanted_) loop_->quit();
        }
    }

    TAbLED& lamp_;
    TColor last_;
    QEventLoop* loop_ = nullptr;
    std::size_t wanted_ = 0;
};

struct Stats {
    double mean = 0, min = 0, max = 0, median = 0;
};

Stats statsOf(std::vector<double> v)
{
    if (v.empty()) return {};
    std::sort(v.begin(), v.end());
    const std::size_t half = v.size() / 2;
    const double median = v.size() % 2 ? v[half] : (v[half - 1] + v[half]) / 2;
    return {std::accumulate(v.begin(), v.end(), 0.0) / static_cast<double>(v.size()), v.front(), v.back(), median};
}

void printAgainst(const char* what, const std::vector<double>& measured, double floor)
{
    const Stats s = statsOf(measured);
    std::printf("  %-40s %8.2f ms (min %.2f, max %.2f, %zu sequences); floor %8.2f ms; %+.2f %% over it\n", what,
                s.mean, s.min, s.max, measured.size(), floor, 100.0 * (s.mean - floor) / floor);
}

// Line time of the first `steps` queries and their replies.
double lineTimeMs(const WireSequence& sequence, std::size_t steps)
{
    double ms = 0;
    for (std::size_t i = 0; i < steps; ++i)
        ms += PacedTransponder::frameOnLineMs(sequence.queries[i]->content) +
              PacedTransponder::frameOnLineMs(sequence.replies[i]->content);
    return ms;
}

// The panel's own share of each step: from a reply on the line to the next
// query, less the 60 ms of the query timer.
std::vector<double> panelShares(const std::vector<WireSequence>& sequences)
{
    std::vector<double> shares;
    for (const WireSequence& s : sequences)
        for (std::size_t i = 0; i + 1 < s.queries.size(); ++i)
            shares.push_back(s.queries[i + 1]->ms - s.replies[i]->ms - QuerySpacingMs);
    return shares;
}

bool startSequences(TForm1& form, int port)
{
    if (!bench::connectPanel(form, port)) {
        std::fprintf(stderr, "the panel did not open COM%d\n", port);
        return false;
    }
    control<QLineEdit>(form, "seqEdit")->setText(QString::number(SequenceSeconds));
    bench::pressAuto(form);
    return true;
}

void stopSequences(TForm1& form)
{
    bench::pressAuto(form);
    bench::disconnectPanel(form);
    runFor(300);
}

// One paced run: sequences against an instant transponder on `line`, which the
// panel reaches as COM`port`, timed as above.
struct PacedRun {
    std::vector<double> startToLastReply;
    std::vector<double> firstToLastQuery;
    std::vector<double> shares;
    std::vector<double> lateness;
    double lineAll = 0;
    double lineFirst13 = 0;
};

bool runPaced(TForm1& form, TAbLED& lamp, int port, const PtyPair& line, const std::map<char, std::string>& replies,
              std::size_t wanted, int timeoutMs, PacedRun& run)
{
    std::vector<long long> reds;
    std::vector<LoggedFrame> frames;
    {
        PacedTransponder transponder(line.master(), replies);
        LampWatch watch(lamp);
        if (!startSequences(form, port)) return false;
        if (!watch.runUntilEnded(wanted, timeoutMs)) std::fprintf(stderr, "fewer sequences than asked for\n");
        runFor(200); // the last query and its reply
        stopSequences(form);
        transponder.stop();
        reds = watch.reds;
        frames = transponder.frames();
        run.lateness = transponder.lateness();
    }
    const std::vector<WireSequence> sequences = sequencesOn(frames);
    if (sequences.empty()) {
        std::fprintf(stderr, "no complete sequence on the paced line\n");
        return false;
    }
    for (const WireSequence& s : sequences) {
        run.firstToLastQuery.push_back(s.queries.back()->ms - s.queries.front()->ms);
        // The start that began this sequence: the last red before its first query.
        long long start = -1;
        for (long long red : reds)
            if (bench::nsToMs(red) < s.queries.front()->ms) start = red;
        if (start >= 0) run.startToLastReply.push_back(s.replies.back()->ms - bench::nsToMs(start));
    }
    run.shares = panelShares(sequences);
    run.lineAll = lineTimeMs(sequences.front(), 14);
    run.lineFirst13 = lineTimeMs(sequences.front(), 13);
    return true;
}

void printPaced(const PacedRun& run)
{
    printAgainst("start to last reply (target <= +2 %)", run.startToLastReply, 14 * QuerySpacingMs + run.lineAll);
    printAgainst("first query to last (\"a=?\"..\"e=?\")", run.firstToLastQuery, 13 * QuerySpacingMs + run.lineFirst13);
    const Stats share = statsOf(run.shares);
    const Stats late = statsOf(run.lateness);
    std::printf("  panel's share of each step beyond 60 ms: %.3f ms mean, %.3f ms min, %.3f ms max\n", share.mean,
                share.min, share.max);
    std::printf("  this transponder's replies late against the line: %.3f ms mean, %.3f ms max\n", late.mean, late.max);
}

} // namespace

int main(int argc, char** argv)
{
    const std::size_t wanted = argc > 1 ? static_cast<std::size_t>(std::max(1, std::atoi(argv[1]))) : 5;
    const int timeoutMs = static_cast<int>(wanted) * (SequenceSeconds * 1000 + 1500) + 3000;
    bench::choosePlatform();
    QApplication app(argc, argv);
    setUpPanelApplication(app);
    bench::printPlatform();

    PortDirectory ports;
    QTemporaryDir logDir;
    const QString logPath = logDir.filePath(QStringLiteral("xpdrsim.log"));
    SimulatorProcess simulator(SimulatorPort, {QStringLiteral("--rate"), QStringLiteral("0"), QStringLiteral("--log")},
                               logPath);
    if (!simulator.ready()) {
        std::fprintf(stderr, "the simulator did not start\n");
        return 1;
    }
    TForm1 form;
    form.show();
    runFor(300);
    auto& lamp = *control<TAbLED>(form, "autoIndi");

    // ---- Against the simulator, on a pseudo-terminal ----
    std::vector<double> simStartToLast;
    int cutShort = 0;
    {
        LampWatch watch(lamp);
        if (!startSequences(form, SimulatorPort)) return 1;
        if (!watch.runUntilEnded(wanted, timeoutMs)) std::fprintf(stderr, "fewer sequences than asked for\n");
        runFor(200); // the last query and its reply
        stopSequences(form);
        // A green lamp sooner than fourteen query spacings after the start is the
        // watchdog's, which cut that sequence short: it is no sequence to time.
        for (std::size_t i = 0; i < watch.greens.size(); ++i) {
            const double ms = bench::nsToMs(watch.greens[i] - watch.reds[i]);
            if (ms >= 14 * QuerySpacingMs)
                simStartToLast.push_back(ms);
            else
                ++cutShort;
        }
    }
    const std::vector<LoggedFrame> simFrames = readLog(logPath.toStdString());
    const std::vector<WireSequence> simSequences = sequencesOn(simFrames);
    if (simSequences.empty()) {
        std::fprintf(stderr, "no complete sequence in the simulator's log\n");
        return 1;
    }
    std::vector<double> simAtoE, simTurnaround;
    for (const WireSequence& s : simSequences) {
        simAtoE.push_back(s.queries.back()->ms - s.queries.front()->ms);
        for (std::size_t i = 0; i < s.queries.size(); ++i) simTurnaround.push_back(s.replies[i]->ms - s.queries[i]->ms);
    }
    const Stats turnaround = statsOf(simTurnaround);
    std::printf("against the simulator (no reply delay) on a pseudo-terminal, no line time:\n");
    std::printf("  simulator turnaround per query           %.2f ms mean, %.0f ms max (1 ms time stamps)\n", turnaround.mean,
                turnaround.max);
    printAgainst("first query to last (\"a=?\"..\"e=?\")", simAtoE, 13 * (QuerySpacingMs + turnaround.mean));
    printAgainst("start to last query (lamp red..green)", simStartToLast,
                 14 * QuerySpacingMs + 13 * turnaround.mean);
    if (cutShort > 0) std::printf("  (%d sequences cut short by the watchdog left out)\n", cutShort);
    const Stats simShare = statsOf(panelShares(simSequences));
    std::printf("  panel's share of each step beyond 60 ms: %.2f ms mean, %.0f ms max (1 ms time stamps)\n",
                simShare.mean, simShare.max);

    // ---- Against an instant transponder, paced as a 9600 bit/s line ----
    std::map<char, std::string> replies;
    for (const LoggedFrame* reply : simSequences.back().replies) replies[reply->content[0]] = reply->content;
    PtyPair line;
    ports.map(OwnLinePort, line.slavePath());
    PacedRun direct;
    if (!runPaced(form, lamp, OwnLinePort, line, replies, wanted, timeoutMs, direct)) return 1;
    std::printf("against an instant transponder, replies held back for a 9600 bit/s line (10 bits a byte):\n");
    std::printf("  line time of 14 queries and 14 replies: %.2f ms (%zu bytes)\n", direct.lineAll,
                static_cast<std::size_t>(direct.lineAll / PacedTransponder::ByteOnLineMs + 0.5));
    printPaced(direct);

    // ---- The same line behind ser2net on localhost ----
    const double directMean = statsOf(direct.startToLastReply).mean;
    using Accepter = Ser2netProcess::Accepter;
    using CharDelay = Ser2netProcess::CharDelay;
    const CertificateKit kit;
    if (!kit.failure().isEmpty()) {
        std::fprintf(stderr, "the certificates were not made: %s\n", qPrintable(kit.failure()));
        return 1;
    }
    const struct {
        Accepter accepter;
        CharDelay delay;
        bool tls; // with client authentication
    } servers[] = {{Accepter::RawTcp, CharDelay::ToNetworkAtOnce, false},
                   {Accepter::Rfc2217, CharDelay::ToNetworkAtOnce, false},
                   {Accepter::Rfc2217, CharDelay::Default, false},
                   {Accepter::Rfc2217, CharDelay::ToNetworkAtOnce, true}};
    for (const auto& [accepter, delay, tls] : servers) {
        PtyPair served;
        const Ser2netProcess::Tls authenticated {kit.path(QStringLiteral("server.pem")), kit.path(QStringLiteral("server.key")),
                                                 kit.path(QStringLiteral("auth"))};
        Ser2netProcess ser2net(QString::fromStdString(served.slavePath()), accepter, 9600, delay, {},
                               tls ? authenticated : Ser2netProcess::Tls {});
        if (!ser2net.start()) {
            std::fprintf(stderr, "ser2net did not start: %s\n", qPrintable(ser2net.output()));
            return 1;
        }
        std::ofstream(ports.path() + "/COM" + std::to_string(NetworkPort))
            << ser2net.entry().toStdString() << "\n"
            << (tls ? QStringLiteral("ca=%1\ncert=%2\nkey=%3\n")
                          .arg(kit.path(QStringLiteral("ca.pem")), kit.path(QStringLiteral("operator.pem")),
                               kit.path(QStringLiteral("operator.key")))
                          .toStdString()
                    : std::string());
        PacedRun through;
        if (!runPaced(form, lamp, NetworkPort, served, replies, wanted, timeoutMs, through)) return 1;
        std::printf("the same through ser2net on localhost, %s, %s%s:\n", qPrintable(ser2net.entry()),
                    delay == CharDelay::Default ? "its default character delay" : "chardelay: false",
                    tls ? ", TLS with client authentication (clientauth, authdir)" : "");
        printPaced(through);
        // A sequence that another program on the machine held up shows in the
        // mean; the medians compare the runs as they usually go.
        const double median = statsOf(through.startToLastReply).median;
        const double directMedian = statsOf(direct.startToLastReply).median;
        std::printf("  medians, against the pseudo-terminal alone: %.2f ms against %.2f ms, %+.2f %% (target within 1 %%)\n",
                    median, directMedian, 100.0 * (median - directMedian) / directMedian);
        const double mean = statsOf(through.startToLastReply).mean;
        std::printf("  means, against the same on the pseudo-terminal alone: %+.2f ms, %+.2f %%\n",
                    mean - directMean, 100.0 * (mean - directMean) / directMean);
    }

    // ---- The pseudo-terminal again, the session's windows open and recording ----
    // Rounds with all three closed and open in turn, so that whatever else the
    // machine does falls on both alike.
    SessionControls& session = form.Session();
    std::vector<double> closed, open;
    for (int round = 0; round < SessionRounds; ++round) {
        PacedRun without;
        if (!runPaced(form, lamp, OwnLinePort, line, replies, wanted, timeoutMs, without)) return 1;
        closed.insert(closed.end(), without.startToLastReply.begin(), without.startToLastReply.end());

        TrafficMonitor* monitor = session.showMonitor();
        TrendsWindow* trends = session.showTrends();
        if (!session.startRecording(logDir.filePath(QStringLiteral("session.jsonl")))) return 1;
        runFor(300);
        PacedRun with;
        if (!runPaced(form, lamp, OwnLinePort, line, replies, wanted, timeoutMs, with)) return 1;
        session.stopRecording();
        monitor->close();
        trends->close();
        open.insert(open.end(), with.startToLastReply.begin(), with.startToLastReply.end());
        if (round + 1 < SessionRounds) continue;
        std::printf("the pseudo-terminal again, the traffic monitor and the trends open and the session recorded "
                    "(last of %d rounds):\n", SessionRounds);
        printPaced(with);
    }
    const Stats without = statsOf(closed);
    const Stats with = statsOf(open);
    std::printf("  %zu sequences with all three closed against %zu with them open: means %.2f and %.2f ms (%+.2f %%), "
                "medians %.2f and %.2f ms (%+.2f %%; target <= +1 %%)\n",
                closed.size(), open.size(), without.mean, with.mean, 100.0 * (with.mean - without.mean) / without.mean,
                without.median, with.median, 100.0 * (with.median - without.median) / without.median);
    return 0;
}
