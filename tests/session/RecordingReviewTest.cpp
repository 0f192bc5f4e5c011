#include "session/RecordedTrafficModel.h"
#include "session/RecordingIndex.h"
#include "session/TrendSeries.h"
#include "tests/testkit/EventLoopWait.h"
#include "tests/testkit/MalformedRecording.h"
#include "tests/testkit/RunProgram.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <map>

using session::RecordedTrafficModel;
using session::RecordedTrends;
using session::RecordingIndex;
using session::TrendData;

namespace {

QString writeFile(const QTemporaryDir& folder, const QByteArray& text)
{
    const QString path = folder.filePath(QStringLiteral("recording.jsonl"));
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
    return path;
}

// Indexes `path` to its end, the trend values of every session gathered.
void indexWhole(RecordingIndex& index, const QString& path, RecordedTrends::Values* trends = nullptr)
{
    if (trends)
        QObject::connect(&index, &RecordingIndex::trendValues, [trends](const RecordingIndex::TrendValues& v) {
            for (std::size_t s = 0; s < v.values.series.size(); ++s)
                trends->series[s].insert(trends->series[s].end(), v.values.series[s].begin(), v.values.series[s].end());
            trends->rows += v.values.rows;
        });
    ASSERT_TRUE(index.open(path));
    ASSERT_TRUE(runUntil([&] { return index.complete(); }, 10'000));
}

QString column(const RecordedTrafficModel& model, int row, int column)
{
    return model.data(model.index(row, column), Qt::DisplayRole).toString();
}

} // namespace

// Each line of a recording is a row of the review, whether it reads or not: a
// line that does not read is counted and shown as "bad" with the reason, each
// session shows its own lines, and a partial last line is noted.
TEST(RecordingReview, ShowsEveryLineOfEachSessionAndCountsThoseThatDoNotRead)
{
    QTemporaryDir folder;
    const auto& rows = malformedRecording();
    RecordingIndex index;
    indexWhole(index, writeFile(folder, recordingText(rows)));

    ASSERT_EQ(index.lineCount(), rows.size());
    EXPECT_EQ(index.unparsed(), static_cast<quint64>(std::count_if(rows.begin(), rows.end(), [](const RecordingRow& r) {
                  return QByteArrayView(r.shownAs) == "bad";
              })));
    EXPECT_TRUE(index.cutLastLine());
    ASSERT_EQ(index.sessions().size(), 2u);

    RecordedTrafficModel model(index);
    for (int session = 1; session <= 2; ++session) {
        model.setRange(index.sessionFirst(session), index.sessionEnd(session));
        int row = 0;
        for (const RecordingRow& r : rows) {
            if (r.session != session) continue;
            SCOPED_TRACE(r.what);
            ASSERT_LT(row, model.rowCount());
            EXPECT_EQ(column(model, row, RecordedTrafficModel::Direction), QLatin1String(r.shownAs));
            EXPECT_TRUE(column(model, row, RecordedTrafficModel::Description).contains(QLatin1String(r.reason)));
            EXPECT_TRUE(model.rowText(row).contains(column(model, row, RecordedTrafficModel::Description)));
            ++row;
        }
        EXPECT_EQ(row, model.rowCount()) << "session " << session;
    }

    // A filter shows the frames that match, read from the index alone.
    model.setRange(0, index.lineCount());
    model.setFilter(session::TrafficDirection::Received, 'a');
    ASSERT_EQ(model.rowCount(), 1);
    EXPECT_EQ(column(model, 0, RecordedTrafficModel::Frame), QStringLiteral("<STX>a=1025<ETX>"));
}

// Of the lines that do not read the index keeps the first hundred and the
// partial last one, and counts the rest: a file of line ends costs no more
// than its count, and each line kept reads as it stands in the file.
TEST(RecordingReview, IndexesTheFirstHundredLinesThatDoNotReadAndCountsTheRest)
{
    const QByteArray start = R"({"time":"2026-12-07T20:00:00.000Z","port":"COM1","program":"uavControl"})";
    const QByteArray frame = R"({"time":"2026-12-07T20:00:01.000Z","dir":"out","payload":"\u0002a=?\u0003"})";
    QTemporaryDir folder;
    RecordingIndex index;
    indexWhole(index, writeFile(folder, start + QByteArray(151, '\n') + frame + "\n\nx"));
    EXPECT_EQ(index.unparsed(), 152u);
    ASSERT_EQ(index.lineCount(), 103u);
    EXPECT_EQ(index.bytes(0), start);
    EXPECT_EQ(index.bytes(100), QByteArray());
    EXPECT_EQ(index.bytes(101), frame);
    EXPECT_EQ(index.bytes(102), "x");
    EXPECT_EQ(index.read(102).reason, QStringLiteral("partial last line"));
}

#ifdef XPDRCTL_PROGRAM
// The review numbers the sessions as the tools do: the lines before the first
// start are session 0, and session N of the review is `export --session N`,
// row for row.
TEST(RecordingReview, NumbersTheSessionsAsTheExportDoes)
{
    QByteArray text;
    for (const char* line : {"1:01", "1:02", "start 2", "2:01", "2:02", "2:03", "start 3", "3:01"})
        text += line[0] == 's' ? QByteArray(R"({"time":"2026-12-07T20:0)") + line[6] +
                                     R"(:00.000Z","port":"COM1","program":"uavControl"})" "\n"
                               : QByteArray(R"({"time":"2026-12-07T20:0)") + line +
                                     R"(.000Z","code":"1200","answered":14,"unanswered":[]})" "\n";
    QTemporaryDir folder;
    const QString path = writeFile(folder, text);
    std::map<int, QByteArray> rows;
    RecordingIndex index;
    QObject::connect(&index, &RecordingIndex::trendValues,
                     [&](const RecordingIndex::TrendValues& v) { rows[v.session] += v.values.rows; });
    indexWhole(index, path);
    ASSERT_EQ(index.sessions().size(), 2u);
    for (const auto& [session, count] : std::map<int, int>{{0, 2}, {1, 3}, {2, 1}}) {
        EXPECT_EQ(rows[session].count('\n'), count) << session;
        EXPECT_EQ(index.sessionEnd(session) - index.sessionFirst(session), quint64(count + (session > 0))) << session;
        if (session == 0) continue; // the export's sessions count from 1
        const ProgramRun run = runWithoutDisplay(QStringLiteral(XPDRCTL_PROGRAM),
                                                 {QStringLiteral("export"), path, QStringLiteral("--csv"),
                                                  QStringLiteral("--session"), QString::number(session)});
        EXPECT_EQ(session::SequenceCsv::header() + rows[session], run.out.toUtf8()) << run.err.toStdString();
    }
}

// The review's trends and the export's rows come from the same sequences and
// pings: each row's time and values are the review's points, each ping round
// trip the export gives is the review's, and the review's Export CSV… writes
// what the export writes.
TEST(RecordingReview, AgreesWithTheExportOfTheSameRecording)
{
    QByteArray text =
        R"({"time":"2026-12-07T20:00:00.000Z","port":"COM1","program":"uavControl","version":"1.0"})" "\n";
    const char* const Volts[] = {"27.9", "--", "28.1"};
    for (int n = 0; n < 12; ++n) {
        const auto time = [&](int ms) {
            return QStringLiteral("2026-12-07T20:%1:%2.%3Z")
                .arg(n * 2 / 60, 2, 10, QLatin1Char('0'))
                .arg(n * 2 % 60, 2, 10, QLatin1Char('0'))
                .arg(ms, 3, 10, QLatin1Char('0'))
                .toLatin1();
        };
        if (n % 4 == 3) {
            text += R"({"time":")" + time(100) +
                    R"(","dir":"out","payload":"\u0002p=y\u0003","description":"ping"})" "\n";
            text += R"({"time":")" + time(100 + 10 * n) +
                    R"(","dir":"in","payload":"\u0002p=Y\u0003","description":"ping received"})" "\n";
        }
        text += R"({"time":")" + time(0) + R"(","mode":"Mode C","code":"1200","replies":"","spi":"","altitude":")" +
                QByteArray::number(1000 + 25 * n) + R"(","volts":")" + Volts[n % 3] +
                R"(","offset":")" + QByteArray::number(n % 5) + R"(.2 V","version":"","ping":"","raw":{},"answered":)" +
                QByteArray::number(14 - n % 2) + R"(,"unanswered":[]})" "\n";
    }
    QTemporaryDir folder;
    const QString path = writeFile(folder, text);
    RecordedTrends::Values trends;
    RecordingIndex index;
    indexWhole(index, path, &trends);

    const ProgramRun run = runWithoutDisplay(QStringLiteral(XPDRCTL_PROGRAM),
                                             {QStringLiteral("export"), path, QStringLiteral("--csv")});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(session::SequenceCsv::header() + trends.rows, run.out.toUtf8());
    QStringList lines = run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_FALSE(lines.isEmpty());
    const QStringList header = lines.takeFirst().split(QLatin1Char(','));
    ASSERT_EQ(lines.size(), 12);
    for (const auto series : {TrendData::Altitude, TrendData::Volts, TrendData::Offset, TrendData::Answered})
        ASSERT_EQ(trends.series[series].size(), 12u) << series;

    std::vector<double> pings;
    for (int i = 0; i < lines.size(); ++i) {
        const QStringList cells = lines[i].split(QLatin1Char(','));
        ASSERT_EQ(cells.size(), header.size());
        qint64 ms = 0;
        ASSERT_TRUE(session::parseRecordTime(cells[0], ms));
        const auto cell = [&](const char* name) { return cells[header.indexOf(QLatin1String(name))]; };
        const struct {
            TrendData::Series series;
            QString text;
        } expected[] = {{TrendData::Altitude, cell("altitude")},
                        {TrendData::Volts, cell("volts")},
                        {TrendData::Offset, cell("offset").chopped(2)}};
        for (const auto& [series, value] : expected) {
            const TrendData::Value& point = trends.series[series][static_cast<std::size_t>(i)];
            EXPECT_EQ(point.x, static_cast<double>(ms)) << "row " << i;
            EXPECT_EQ(point.y, session::trendNumber(value.toStdString())) << "row " << i << " series " << series;
        }
        if (const QString ping = cell("ping round trip (ms)"); !ping.isEmpty()) pings.push_back(ping.toDouble());
    }
    std::vector<double> reviewed;
    for (const TrendData::Value& v : trends.series[TrendData::PingMs]) reviewed.push_back(*v.y);
    EXPECT_EQ(reviewed, pings);
    EXPECT_EQ(pings.size(), 3u);
}
#endif
