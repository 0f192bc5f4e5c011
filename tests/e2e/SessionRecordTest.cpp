// The session on record, with the real window against the simulated transponder:
// what the record holds against what the simulator saw on the line, files that
// cannot be written, and the monitor and the trends during a live run.
#include "SimulatorFixture.h"

#include "app/PanelApplication.h"
#include "app/SessionControls.h"
#include "app/TrafficMonitor.h"
#include "app/TrendPlot.h"
#include "app/TrendsWindow.h"
#include "session/SessionRecorder.h"
#include "session/TrafficModel.h"
#include "session/TrendData.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <csignal>

namespace {

std::vector<QJsonObject> recordOf(const QString& path)
{
    std::vector<QJsonObject> objects;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return objects;
    for (const QByteArray& line : file.readAll().split('\n'))
        if (!line.isEmpty()) objects.push_back(QJsonDocument::fromJson(line).object());
    return objects;
}

std::vector<QJsonObject> sequencesIn(const std::vector<QJsonObject>& record)
{
    std::vector<QJsonObject> sequences;
    for (const QJsonObject& o : record)
        if (o.contains(QStringLiteral("answered"))) sequences.push_back(o);
    return sequences;
}

// A record's frames as the simulator's log names them: "in ..." for what the
// simulator received (the panel sent), "out ..." for what it sent.
QStringList asSimulatorSawThem(const std::vector<QJsonObject>& record)
{
    QStringList frames;
    for (const QJsonObject& o : record) {
        const QString dir = o.value(QStringLiteral("dir")).toString();
        if (dir.isEmpty()) continue;
        QString payload = o.value(QStringLiteral("payload")).toString();
        if (payload.startsWith(QChar(2)) && payload.endsWith(QChar(3))) payload = payload.mid(1).chopped(1);
        frames << (dir == QStringLiteral("out") ? QStringLiteral("in ") : QStringLiteral("out ")) + payload;
    }
    return frames;
}

QStringList only(const QStringList& frames, const QString& prefix)
{
    QStringList picked;
    for (const QString& f : frames)
        if (f.startsWith(prefix)) picked << f;
    return picked;
}

class SessionAgainstSimulator : public PanelAgainstSimulator {
protected:
    SessionControls& session() { return form->Session(); }
    QString file(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }

    QTemporaryDir dir;
};

} // namespace

TEST_F(SessionAgainstSimulator, TheRecordHoldsExactlyTheFramesOnTheWire)
{
    // No reports of its own: every frame on the wire is the panel's doing or an answer.
    start({QStringLiteral("--rate"), QStringLiteral("0")});
    click("btnConnect");
    ASSERT_TRUE(form->SerialComm->Active());
    EXPECT_TRUE(simulator->frames().isEmpty());

    const QString path = file("session.jsonl");
    ASSERT_TRUE(session().startRecording(path));
    click("autobtn");
    click("btnPing");
    find<QLineEdit>("CommStr")->setText(QStringLiteral("z=?"));
    click("btnSend");
    ASSERT_TRUE(runUntil([&] { return sequencesIn(recordOf(path)).size() >= 2; }, 8000));
    click("autobtn");
    // Until the line is quiet: the last query's answer is in.
    QStringList wire;
    for (int quiet = 0; quiet < 3;) {
        runFor(150);
        const QStringList more = simulator->frames();
        quiet = more.isEmpty() ? quiet + 1 : 0;
        wire += more;
    }
    session().stopRecording();

    const auto record = recordOf(path);
    const QStringList recorded = asSimulatorSawThem(record);
    EXPECT_EQ(only(recorded, QStringLiteral("in ")), only(wire, QStringLiteral("in ")));
    EXPECT_EQ(only(recorded, QStringLiteral("out ")), only(wire, QStringLiteral("out ")));
    EXPECT_TRUE(recorded.contains(QStringLiteral("in p=y")));
    EXPECT_GE(recorded.count(QStringLiteral("in e=?")), 2);

    ASSERT_FALSE(record.empty());
    EXPECT_EQ(record.front().value(QStringLiteral("port")).toString(), QStringLiteral("COM1"));
    const auto sequences = sequencesIn(record);
    ASSERT_GE(sequences.size(), 2u);
    for (const QJsonObject& s : sequences) {
        EXPECT_EQ(s.value(QStringLiteral("answered")).toInt(), 14);
        EXPECT_TRUE(s.value(QStringLiteral("unanswered")).toArray().isEmpty());
        EXPECT_EQ(s.value(QStringLiteral("code")).toString(), QStringLiteral("1200"));
        EXPECT_EQ(s.value(QStringLiteral("raw")).toObject().value(QStringLiteral("v")).toString(),
                  QStringLiteral("27.9"));
    }
    for (const QJsonObject& o : record) {
        if (!o.contains(QStringLiteral("dir"))) continue;
        EXPECT_FALSE(o.value(QStringLiteral("description")).toString().isEmpty());
    }
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(SessionAgainstSimulator, AFileThatCannotBeWrittenGivesOneBoxWhileThePanelKeepsPolling)
{
    start();
    click("btnConnect");
    click("autobtn");
    QFile plain(file("plain"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    for (const QString& path : {QStringLiteral("/dev/full"), file("plain") + QStringLiteral("/session.jsonl")}) {
        SCOPED_TRACE(path.toStdString());
        boxes.shown.clear();
        EXPECT_FALSE(session().startRecording(path));
        simulator->framesIn();
        // Two more sequences go out, and no second box comes.
        int sequences = 0;
        ASSERT_TRUE(runUntil([&] { return (sequences += simulator->framesIn().count(QStringLiteral("e=?"))) >= 2; },
                             8000));
        EXPECT_EQ(boxes.shown.size(), 1u);
        EXPECT_FALSE(session().recorder().recording());
    }
}

TEST_F(SessionAgainstSimulator, TheMonitorAndTheTrendsFollowALiveRun)
{
    // Interrogation reports and junk on the line, as a real link may have.
    start({QStringLiteral("--noise")});
    form->move(0, 0);
    click("btnConnect");
    TrafficMonitor* monitor = session().showMonitor();
    TrendsWindow* trends = session().showTrends();
    click("autobtn");
    click("btnPing");
    session::TrafficModel& lines = session().traffic();
    auto answered = [&] { return session().trends().series(session::TrendData::Answered).points().size(); };
    ASSERT_TRUE(runUntil([&] { return answered() >= 3; }, 12000));
    click("btnPing");
    ASSERT_TRUE(runUntil([&] { return answered() >= 4; }, 6000));
    runFor(TrendsWindow::RedrawDelayMs + 100);

    QStringList rows;
    for (int row = 0; row < lines.rowCount(); ++row) rows << lines.rowText(row);
    const QString all = rows.join(QLatin1Char('\n'));
    EXPECT_TRUE(all.contains(QStringLiteral("out    <STX>c=?<ETX>     query assigned code"))) << all.toStdString();
    EXPECT_TRUE(all.contains(QStringLiteral("in     <STX>c=1200<ETX>  reply: assigned code 1200")));
    EXPECT_TRUE(all.contains(QStringLiteral("interrogation report")));
    EXPECT_TRUE(all.contains(QStringLiteral("  noise  "))) << "the simulator's junk shows as noise";

    EXPECT_GT(trends->plot(session::TrendData::Altitude)->shownPoints(), 2);
    EXPECT_GT(trends->plot(session::TrendData::Volts)->shownPoints(), 2);
    EXPECT_GT(trends->plot(session::TrendData::Offset)->shownPoints(), 2);
    EXPECT_GE(trends->plot(session::TrendData::Answered)->shownPoints(), 4);
    EXPECT_GE(trends->plot(session::TrendData::PingMs)->shownPoints(), 1);
    EXPECT_TRUE(boxes.shown.empty());

    // Pictures of both windows during the run, for the README.
    const QString folder = QCoreApplication::applicationDirPath() + QStringLiteral("/../../screenshots");
    QDir().mkpath(folder);
    setUpPanelApplication(*qApp);
    trends->setSpan(TrendsWindow::Everything); // the few minutes of a test fill the plots' width
    runFor(50);
    EXPECT_TRUE(monitor->grab().save(folder + QStringLiteral("/monitor-live.png")));
    EXPECT_TRUE(trends->grab().save(folder + QStringLiteral("/trends-live.png")));
}

TEST_F(SessionAgainstSimulator, AKillMidRecordingLeavesEveryLineButTheLastWholeAndEverySequenceReported)
{
    start();
    const QString path = file("session.jsonl");
    QProcess panel;
    panel.start(QStringLiteral(RECORDING_PANEL_PATH), {path});
    ASSERT_TRUE(panel.waitForStarted(5000));
    // Killed as soon as it has reported its third sequence: frames of the fourth
    // are being written then.
    int reported = 0;
    ASSERT_TRUE(runUntil(
        [&] {
            while (panel.canReadLine())
                if (panel.readLine().startsWith("sequence ")) ++reported;
            return reported >= 3;
        },
        15000))
        << panel.readAllStandardError().toStdString();
    ::kill(static_cast<pid_t>(panel.processId()), SIGKILL);
    ASSERT_TRUE(panel.waitForFinished(5000));
    EXPECT_EQ(panel.exitStatus(), QProcess::CrashExit);

    QFile record(path);
    ASSERT_TRUE(record.open(QIODevice::ReadOnly));
    QList<QByteArray> lines = record.readAll().split('\n');
    if (!lines.isEmpty() && lines.back().isEmpty()) lines.removeLast();
    ASSERT_GT(lines.size(), 3 * 28);
    int sequences = 0;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QJsonDocument line = QJsonDocument::fromJson(lines[i]);
        if (line.object().contains(QStringLiteral("answered"))) ++sequences;
        // The last line may have been cut short by the kill.
        if (i + 1 == lines.size()) continue;
        EXPECT_TRUE(line.isObject()) << "line " << i + 1 << ": " << lines[i].toStdString();
    }
    EXPECT_GE(sequences, reported);
}
