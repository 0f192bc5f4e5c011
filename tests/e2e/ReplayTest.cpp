// A recorded session played back: the panel records against the simulator,
// then records again against the recording replayed, and the two records tell
// the same sequences.
#include "SimulatorFixture.h"

#include "app/SessionControls.h"
#include "app/TrendsWindow.h"
#include "tests/testkit/RunProgram.h"
#include "session/RecordingReader.h"
#include "transponder/MessageSet.h"
#include "transponder/StatusItem.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QTemporaryDir>

namespace {

struct Recorded {
    std::vector<QJsonObject> sequences;
    qint64 lengthMs = 0; // start object to last line
};

Recorded read(const QString& path)
{
    Recorded recorded;
    qint64 startMs = -1;
    const auto read = session::readSession(path, 1, [&](const session::RecordedLine& line) {
        if (startMs < 0) startMs = line.timeMs;
        recorded.lengthMs = line.timeMs - startMs;
        if (line.kind == session::RecordedLine::Kind::Sequence) recorded.sequences.push_back(line.object);
    });
    EXPECT_TRUE(read.error.isEmpty() && read.unreadable.empty()) << read.error.toStdString();
    return recorded;
}

// What a sequence showed: the nine items, and with `raw` the value received to
// each of its queries (an interrogation report may fall into a sequence or
// not, as the replay's start meets the recorded reports).
QByteArray shown(const QJsonObject& sequence, bool raw)
{
    QJsonObject items;
    for (transponder::Item item : transponder::Items) {
        const std::string_view name = transponder::key(item);
        const QString key = QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
        items[key] = sequence.value(key);
    }
    const QJsonObject received = sequence.value(QStringLiteral("raw")).toObject();
    if (raw)
        for (char letter : transponder::MessageSet::SequenceLetters) {
            const QString key(QLatin1Char{letter});
            items[QStringLiteral("raw ") + key] = received.value(key);
        }
    return QJsonDocument(items).toJson(QJsonDocument::Compact);
}

std::vector<QByteArray> shown(const std::vector<QJsonObject>& sequences, bool raw)
{
    std::vector<QByteArray> all;
    for (const QJsonObject& s : sequences) all.push_back(shown(s, raw));
    return all;
}

std::string listed(const std::vector<QByteArray>& sequences)
{
    std::string text;
    for (const QByteArray& s : sequences) text += s.toStdString() + '\n';
    return text;
}

// Two sequences agree on every item both got answered: a live run on a busy
// machine may miss an answer the other run had, never give another value.
bool agree(const QByteArray& first, const QByteArray& second)
{
    const QJsonObject a = QJsonDocument::fromJson(first).object();
    const QJsonObject b = QJsonDocument::fromJson(second).object();
    for (auto item = a.begin(); item != a.end(); ++item)
        if (b.contains(item.key()) && b.value(item.key()) != item.value()) return false;
    return !a.isEmpty() && !b.isEmpty();
}

// The same in order, but for at most one sequence more or less at either end.
bool sameGiveOrTakeOne(const std::vector<QByteArray>& first, const std::vector<QByteArray>& second)
{
    for (std::size_t a = 0; a < 2; ++a)
        for (std::size_t b = 0; b < 2; ++b)
            for (std::size_t c = 0; c < 2; ++c)
                for (std::size_t d = 0; d < 2; ++d) {
                    if (a + b >= first.size() || c + d >= second.size()) continue;
                    if (std::equal(first.begin() + a, first.end() - b, second.begin() + c, second.end() - d, agree))
                        return true;
                }
    return false;
}

// Each of `second` is one of `first`, in the order of `first`.
bool eachInOrder(const std::vector<QByteArray>& first, const std::vector<QByteArray>& second)
{
    auto at = first.begin();
    for (const QByteArray& s : second) {
        at = std::find(at, first.end(), s);
        if (at == first.end()) return false;
    }
    return true;
}

struct ReplayRow {
    double speed;
    // At speed 1 a replayed sequence is a recorded one whole; faster, its
    // queries meet the replies of several recorded ones, and only what the
    // display shows at its end is one of the first record's.
    bool whole;
};

// The first record, made once for all the tests of a process, with the trends'
// export beside it. Auto goes on with the start object: the replay's clock starts
// at the replayed panel's first question, however long that panel's start took.
class RecordedSession : public PanelAgainstSimulator {
protected:
    static constexpr int Sequences = 8;

    static QString firstRecord() { return folder().filePath(QStringLiteral("first.jsonl")); }
    static QString trendsExport() { return folder().filePath(QStringLiteral("trends.csv")); }

    void SetUp() override
    {
        if (QFile::exists(trendsExport())) return;
        start();
        click("btnConnect");
        ASSERT_TRUE(form->Session().startRecording(firstRecord()));
        click("autobtn");
        ASSERT_TRUE(runUntil([&] { return read(firstRecord()).sequences.size() >= Sequences; }, Sequences * 3000));
        click("autobtn");
        // The record goes on a while after the last sequence, so that a
        // replayed panel's last sequence, which asks up to a second before the
        // recorded one, finds the whole of it on record.
        runFor(2000);
        form->Session().stopRecording();
        ASSERT_TRUE(form->Session().showTrends()->exportCsv(trendsExport()));
        form.reset();
        simulator.reset();
    }

private:
    static QTemporaryDir& folder()
    {
        static QTemporaryDir dir;
        return dir;
    }
};

class ReplayAgainstPanel : public RecordedSession, public ::testing::WithParamInterface<ReplayRow> {
protected:
    QTemporaryDir dir;
};

} // namespace

TEST_P(ReplayAgainstPanel, RecordingTheReplayGivesTheRecordedSequencesBack)
{
    const ReplayRow row = GetParam();
    const Recorded first = read(firstRecord());
    ASSERT_GE(first.sequences.size(), std::size_t(Sequences));


    start({QStringLiteral("--replay"), firstRecord(), QStringLiteral("--speed"), QString::number(row.speed)});
    QElapsedTimer replaying;
    replaying.start();
    click("btnConnect");
    const QString second = dir.filePath(QStringLiteral("second.jsonl"));
    ASSERT_TRUE(form->Session().startRecording(second));
    click("autobtn");
    // Stopped before the replay ends, which it does with the recording.
    const auto replayMs = static_cast<qint64>(static_cast<double>(first.lengthMs) / row.speed);
    runUntil([&] { return false; }, static_cast<int>(std::max<qint64>(0, replayMs - 400 - replaying.elapsed())));
    click("autobtn");
    form->Session().stopRecording();

    const auto firstShown = shown(first.sequences, row.whole);
    const auto secondShown = shown(read(second).sequences, row.whole);
    ASSERT_GE(secondShown.size(), 2u);
    if (row.speed == 1)
        EXPECT_TRUE(sameGiveOrTakeOne(firstShown, secondShown)) << listed(firstShown) << "--\n" << listed(secondShown);
    else
        EXPECT_TRUE(eachInOrder(firstShown, secondShown)) << listed(firstShown) << "--\n" << listed(secondShown);
    EXPECT_TRUE(boxes.shown.empty());
}

INSTANTIATE_TEST_SUITE_P(Speeds, ReplayAgainstPanel,
                         ::testing::Values(ReplayRow{1, true}, ReplayRow{4, false}),
                         [](const auto& info) { return info.param.speed == 1 ? "Speed1" : "Speed4"; });

TEST_F(RecordedSession, TheTrendsExportIsTheExportOfItsRecord)
{
    const ProgramRun run = runWithoutDisplay(QStringLiteral(XPDRCTL_PATH),
                                             {QStringLiteral("export"), firstRecord(), QStringLiteral("--csv")});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();
    QFile trends(trendsExport());
    ASSERT_TRUE(trends.open(QIODevice::ReadOnly));
    const QString exported = QString::fromUtf8(trends.readAll());
    EXPECT_EQ(exported, run.out);
    EXPECT_EQ(exported.count(QLatin1Char('\n')), qsizetype(read(firstRecord()).sequences.size()) + 1);
}
