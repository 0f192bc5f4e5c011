// Whether the transponder stays polled while a window of ours is up: Auto on
// against the simulated transponder (seconds field 1) for the same span three
// times, recorded each time to a file of its own:
//
// - with nothing open;
// - with File → Record Session…'s file dialog open all along (it runs its own
//   nested loop, as every file dialog of the panel does);
// - with a message box open all along, the one kind of window that holds the
//   sequence back.
//
// For each it prints the queries the simulator received (from its log), and
// the sequences on record: all of them, those listing an unanswered query, and
// those marked interrupted.
//
//   dialog_polling_bench [seconds]     default 10
#include "PanelBench.h"

#include "app/PanelApplication.h"
#include "app/SessionControls.h"
#include "framework/MessageBoxes.h"

#include <QAction>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>

namespace {

constexpr int SimulatorPort = 1;

struct Figures {
    int queries = 0;
    int sequences = 0;
    int withUnanswered = 0;
    int interrupted = 0;
};

// Closes whatever modal window is up once `ms` have passed.
void closeModalAfter(int ms)
{
    QTimer::singleShot(ms, [] {
        if (QWidget* up = QApplication::activeModalWidget()) up->close();
    });
}

Figures measure(TForm1& form, SimulatorProcess& simulator, const QString& record,
                const std::function<void()>& holdFor)
{
    simulator.framesIn(); // what came before
    form.Session().startRecording(record);
    holdFor();
    form.Session().stopRecording();

    Figures figures;
    for (const QString& frame : simulator.framesIn())
        if (frame.endsWith(QStringLiteral("=?")) || frame.startsWith(QLatin1Char('a'))) ++figures.queries;
    QFile file(record);
    if (!file.open(QIODevice::ReadOnly)) return figures;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        if (!o.contains(QStringLiteral("answered"))) continue;
        ++figures.sequences;
        if (!o.value(QStringLiteral("unanswered")).toArray().isEmpty()) ++figures.withUnanswered;
        if (o.value(QStringLiteral("interrupted")).toBool()) ++figures.interrupted;
    }
    return figures;
}

} // namespace

int main(int argc, char** argv)
{
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    const int ms = seconds * 1000;
    bench::choosePlatform();
    QApplication app(argc, argv);
    setUpPanelApplication(app);
    bench::printPlatform();

    PortDirectory ports;
    SimulatorProcess simulator(SimulatorPort, {QStringLiteral("--rate"), QStringLiteral("0"), QStringLiteral("--log")});
    if (!simulator.ready()) {
        std::fprintf(stderr, "the simulator did not start\n");
        return 1;
    }
    TForm1 form;
    form.show();
    runFor(300);
    if (!bench::connectPanel(form, SimulatorPort)) {
        std::fprintf(stderr, "the panel did not open COM%d\n", SimulatorPort);
        return 1;
    }
    bench::control<QLineEdit>(form, "seqEdit")->setText(QStringLiteral("1"));
    bench::pressAuto(form);
    runFor(2000);

    QTemporaryDir dir;
    auto* recordSession = form.findChild<QAction*>(QStringLiteral("mnuRecordSession"));
    const std::pair<const char*, std::function<void()>> runs[] = {
        {"nothing open", [&] { runFor(ms); }},
        {"Record Session file dialog open",
         [&] {
             closeModalAfter(ms);
             recordSession->trigger();
         }},
        {"message box open",
         [&] {
             closeModalAfter(ms);
             fw::MessageBox(QStringLiteral("held"), QStringLiteral("bench"), fw::MsgButtons::Ok, fw::MsgIcon::None);
         }},
    };
    std::printf("Auto on, 1 s between sequences, against xpdrsim; %d s each:\n", seconds);
    std::printf("  %-34s %8s %10s %16s %12s\n", "", "queries", "sequences", "with unanswered", "interrupted");
    int run = 0;
    for (const auto& [name, holdFor] : runs) {
        const QString record = dir.filePath(QStringLiteral("run%1.jsonl").arg(++run));
        const Figures f = measure(form, simulator, record, holdFor);
        std::printf("  %-34s %8d %10d %16d %12d\n", name, f.queries, f.sequences, f.withUnanswered, f.interrupted);
        runFor(3000); // the sequences after a box settle before the next run
    }
    bench::pressAuto(form);
    bench::disconnectPanel(form);
    return 0;
}
