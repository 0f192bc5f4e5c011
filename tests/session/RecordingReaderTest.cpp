// A recording read back: every line is handed on, decoded or not; the ones that
// do not read are listed with their reason, and each start begins a session.
#include "session/RecordingReader.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const char* const Start = R"({"port":"COM1","program":"uavControl","time":"2026-12-07T20:36:54.521Z","version":"1"})";
const char* const Frame = R"({"description":"query altitude","dir":"out","payload":"\u0002a=?\u0003","time":"2026-12-07T20:36:55.000Z"})";
const char* const Sequence = R"({"answered":14,"code":"1200","time":"2026-12-07T20:36:55.000Z","unanswered":[]})";

struct Row {
    const char* name;
    std::string text;
    int sessions;
    std::uint64_t beforeFirstStart;
    std::vector<int> sessionOfEachLine;
    std::vector<std::pair<std::uint64_t, QString>> unreadable; // line, reason
};

std::string lines(std::initializer_list<std::string> each)
{
    std::string text;
    for (const std::string& line : each) text += line + '\n';
    return text;
}

// Lines 2, 3, … that do not read as JSON.
std::vector<std::pair<std::uint64_t, QString>> badJsonFromLine2(std::uint64_t count)
{
    std::vector<std::pair<std::uint64_t, QString>> run;
    for (std::uint64_t i = 2; i < count + 2; ++i) run.emplace_back(i, QStringLiteral("bad JSON"));
    return run;
}

const std::string LongLine(std::size_t(session::MaxRecordedLineBytes) + 1, 'x');

class MalformedLines : public ::testing::TestWithParam<Row> {};

} // namespace

TEST_P(MalformedLines, AreHandedOnCountedAndReportedNeverDropped)
{
    const Row& row = GetParam();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("r.jsonl"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(row.text.data(), static_cast<qint64>(row.text.size()));
    file.close();

    session::RecordingReader reader(path);
    ASSERT_TRUE(reader.open());
    std::vector<int> sessionOfEachLine;
    std::vector<std::pair<std::uint64_t, QString>> unparsed;
    session::RecordingReader::Line line;
    while (reader.next(line)) {
        sessionOfEachLine.push_back(line.session);
        if (line.line.kind == session::RecordedLine::Kind::Unparsed)
            unparsed.emplace_back(line.number, line.line.reason);
    }
    EXPECT_EQ(sessionOfEachLine, row.sessionOfEachLine);
    EXPECT_EQ(unparsed, row.unreadable);
    EXPECT_EQ(reader.sessions(), row.sessions);
    EXPECT_EQ(reader.linesBeforeFirstStart(), row.beforeFirstStart);
    const std::size_t listed = std::min(row.unreadable.size(), session::RecordingReader::MaxListedUnreadable);
    ASSERT_EQ(reader.unreadable().size(), listed);
    EXPECT_EQ(reader.unreadableCount(), row.unreadable.size());

    const session::SessionRead read = session::readSession(path, row.sessions, [](const session::RecordedLine&) {});
    const QString report = session::readReport(path, read);
    for (std::size_t i = 0; i < row.unreadable.size(); ++i) {
        const auto& [number, reason] = row.unreadable[i];
        EXPECT_EQ(report.contains(QStringLiteral("line %1: %2\n").arg(number).arg(reason)), i < listed)
            << report.left(400).toStdString();
    }
    EXPECT_EQ(report.contains(QStringLiteral(": %1 more line(s) did not read\n").arg(row.unreadable.size() - listed)),
              row.unreadable.size() > listed);
    EXPECT_EQ(report.contains(QStringLiteral("before the first start")), row.beforeFirstStart > 0);
}

INSTANTIATE_TEST_SUITE_P(
    Recording, MalformedLines,
    ::testing::Values(
        Row{"PartialLastLine", lines({Start, Frame}) + R"({"description":"query alt)", 1, 0, {1, 1, 1},
            {{3, QStringLiteral("partial last line")}}},
        Row{"BadJson", lines({Start, R"({"time":"2026-12-07T20:36:55.000Z", oops})", Frame}), 1, 0, {1, 1, 1},
            {{2, QStringLiteral("bad JSON")}}},
        Row{"UnknownKind", lines({Start, R"({"time":"2026-12-07T20:36:55.000Z","weather":"fine"})"}), 1, 0, {1, 1},
            {{2, QStringLiteral("unknown kind")}}},
        Row{"PayloadNotLatin1",
            lines({Start, R"({"description":"","dir":"in","payload":"\u0002a=\u20ac\u0003","time":"2026-12-07T20:36:55.000Z"})"}),
            1, 0, {1, 1}, {{2, QStringLiteral("payload not Latin-1")}}},
        Row{"SeveralSessions", lines({Frame, Start, Frame, Start, Sequence}), 2, 1, {0, 1, 1, 2, 2}, {}},
        Row{"LineTooLong", lines({Start, LongLine, Frame}), 1, 0, {1, 1, 1}, {{2, QStringLiteral("line too long")}}},
        Row{"TooLongLastLineWithoutEnd", lines({Start}) + LongLine + LongLine, 1, 0, {1, 1},
            {{2, QStringLiteral("line too long")}}},
        Row{"OnlyTheFirstHundredListed", lines({Start}) + std::string(150, '\n'), 1, 0, std::vector<int>(151, 1),
            badJsonFromLine2(150)}),
    [](const auto& info) { return std::string(info.param.name); });
