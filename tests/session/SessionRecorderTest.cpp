#include "framework/ExitCodes.h"
#include "framework/MessageBoxes.h"
#include "framework/VirtualClock.h"
#include "session/ChainCheck.h"
#include "session/RecordingIndex.h"
#include "tests/testkit/EventLoopWait.h"
#include "tests/testkit/RunProgram.h"
#include "session/SessionRecorder.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

using session::SessionRecorder;
using session::TrafficDirection;
using session::TrafficEvent;

namespace {

std::string describe(const TrafficEvent& event)
{
    return std::string(session::directionName(event.direction)) + " of " + std::to_string(event.bytes.size());
}

TrafficEvent event(TrafficDirection direction, std::string bytes)
{
    return {std::chrono::system_clock::time_point(std::chrono::milliseconds(1'796'000'000'123)), direction,
            std::move(bytes)};
}

// The file's lines, each parsed; a line that does not parse is a null object.
std::vector<QJsonObject> lines(const QString& path)
{
    QFile file(path);
    std::vector<QJsonObject> parsed;
    if (!file.open(QIODevice::ReadOnly)) return parsed;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.isEmpty()) continue;
        const QJsonDocument document = QJsonDocument::fromJson(line);
        parsed.push_back(document.isObject() ? document.object() : QJsonObject());
    }
    return parsed;
}

class Recorder : public ::testing::Test {
protected:
    QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }

    QTemporaryDir dir;
    fw::ScopedVirtualClock clock;
    fw::ScopedRecordingMessageBoxes boxes;
    SessionRecorder recorder{describe, nullptr, clock};
};

} // namespace

TEST_F(Recorder, MarksTheStartThenWritesEveryFrameWithEveryByte)
{
    const QString file = path("session.jsonl");
    ASSERT_TRUE(recorder.start(file, QStringLiteral("COM1")));
    const std::string everyByte = [] {
        std::string bytes;
        for (int b = 0; b < 256; ++b) bytes += static_cast<char>(b);
        return bytes;
    }();
    recorder.traffic(event(TrafficDirection::Sent, "\x02" "c=?\x03"));
    recorder.traffic(event(TrafficDirection::Received, "\x02" "c=1200\x03"));
    recorder.traffic(event(TrafficDirection::Noise, everyByte));
    recorder.sequence(QJsonObject{{QStringLiteral("answered"), 14}});
    recorder.stop();

    const auto objects = lines(file);
    ASSERT_EQ(objects.size(), 6u);
    const QJsonObject& start = objects[0];
    EXPECT_EQ(start.value(QStringLiteral("port")).toString(), QStringLiteral("COM1"));
    EXPECT_EQ(start.value(QStringLiteral("program")).toString(), QStringLiteral("uavControl"));
    EXPECT_FALSE(start.value(QStringLiteral("version")).toString().isEmpty());
    EXPECT_FALSE(start.value(QStringLiteral("host")).toString().isEmpty());
    EXPECT_FALSE(start.value(QStringLiteral("user")).toString().isEmpty());
    EXPECT_EQ(objects[5].value(QStringLiteral("close")).toObject().value(QStringLiteral("lines")).toInt(), 5);
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(file).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u) << "a record is its operator's alone";
    EXPECT_TRUE(start.value(QStringLiteral("time")).toString().endsWith(QLatin1Char('Z')));

    struct Expected {
        const char* dir;
        std::string payload;
    };
    const Expected frames[] = {{"out", "\x02" "c=?\x03"}, {"in", "\x02" "c=1200\x03"}, {"noise", everyByte}};
    for (std::size_t i = 0; i < std::size(frames); ++i) {
        const QJsonObject& frame = objects[i + 1];
        EXPECT_EQ(frame.value(QStringLiteral("time")).toString(), QStringLiteral("2026-11-30T00:53:20.123Z"));
        EXPECT_EQ(frame.value(QStringLiteral("dir")).toString(), QLatin1String(frames[i].dir));
        EXPECT_EQ(frame.value(QStringLiteral("payload")).toString().toLatin1().toStdString(), frames[i].payload);
        EXPECT_EQ(frame.value(QStringLiteral("description")).toString().toStdString(),
                  std::string(frames[i].dir) + " of " + std::to_string(frames[i].payload.size()));
    }
    EXPECT_EQ(objects[4].value(QStringLiteral("answered")).toInt(), 14);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(Recorder, AppendsToWhatTheFileHoldsAndNotesNoPortWhenNoneIsOpen)
{
    const QString file = path("session.jsonl");
    ASSERT_TRUE(recorder.start(file, QStringLiteral("COM1")));
    recorder.traffic(event(TrafficDirection::Sent, "\x02" "a=?\x03"));
    recorder.stop();
    ASSERT_TRUE(recorder.start(file, QString()));
    recorder.stop();

    const auto objects = lines(file);
    ASSERT_EQ(objects.size(), 5u); // each session ends in its close line
    EXPECT_EQ(objects[0].value(QStringLiteral("port")).toString(), QStringLiteral("COM1"));
    EXPECT_EQ(objects[1].value(QStringLiteral("dir")).toString(), QStringLiteral("out"));
    EXPECT_TRUE(objects[3].value(QStringLiteral("port")).isNull());
}

TEST_F(Recorder, AFileThatCannotBeOpenedOrWrittenGivesOneBoxAndNoRecording)
{
    QFile plain(path("plain"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    struct Case {
        const char* name;
        QString file;
        int error;
    };
    const Case cases[] = {
        {"a name too long", path(std::string(300, 'x').c_str()), ENAMETOOLONG},
        {"a path under a regular file", path("plain") + QStringLiteral("/session.jsonl"), ENOTDIR},
        {"a missing folder", path("missing") + QStringLiteral("/session.jsonl"), ENOENT},
    };
    for (const Case& c : cases) {
        boxes.shown.clear();
        EXPECT_FALSE(recorder.start(c.file, QStringLiteral("COM1"))) << c.name;
        EXPECT_FALSE(recorder.recording()) << c.name;
        recorder.traffic(event(TrafficDirection::Sent, "\x02" "a=?\x03"));
        ASSERT_EQ(boxes.shown.size(), 1u) << c.name;
        EXPECT_EQ(boxes.shown[0].text, SessionRecorder::cannotRecordText(c.file, c.error)) << c.name;
        EXPECT_EQ(boxes.shown[0].icon, fw::MsgIcon::Error) << c.name;
    }
}

TEST_F(Recorder, AWriteThatFailsMidwayStopsWithOneBoxAndKeepsTheLinesBefore)
{
    const QString file = path("session.jsonl");
    ASSERT_TRUE(recorder.start(file, QStringLiteral("COM1")));
    recorder.traffic(event(TrafficDirection::Sent, "\x02" "a=?\x03"));

    // A file size limit makes the disk "full" a few lines on: the write fails
    // with EFBIG (the signal the kernel sends along is ignored for the test).
    rlimit before{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = before;
    limited.rlim_cur = static_cast<rlim_t>(QFile(file).size() + 300);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    for (int i = 0; i < 20; ++i) recorder.traffic(event(TrafficDirection::Received, "\x02" "a=1000\x03"));
    ::setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_FALSE(recorder.recording());
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, SessionRecorder::stoppedText(file, EFBIG));
    const auto objects = lines(file);
    ASSERT_GE(objects.size(), 3u);
    for (std::size_t i = 0; i + 1 < objects.size(); ++i) EXPECT_FALSE(objects[i].isEmpty()) << "line " << i;
}

TEST_F(Recorder, AFlushThatFailsInTheBackgroundStopsWithOneBox)
{
    const struct {
        const char* name;
        bool stop; // the failing flush is the last one, after stop()
    } cases[] = {{"while recording", false}, {"on stop", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        boxes.shown.clear();
        SessionRecorder failing(describe, nullptr, clock, [](int) { return EIO; });
        const QString file = path(c.stop ? "stopped.jsonl" : "session.jsonl");
        ASSERT_TRUE(failing.start(file, QStringLiteral("COM1")));
        failing.traffic(event(TrafficDirection::Sent, "\x02" "a=?\x03"));
        if (c.stop)
            failing.stop();
        else
            clock.advance(session::RecordFile::SyncIntervalMs);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (boxes.shown.empty() && std::chrono::steady_clock::now() < deadline) QCoreApplication::processEvents();
        EXPECT_FALSE(failing.recording());
        failing.traffic(event(TrafficDirection::Sent, "\x02" "c=?\x03"));
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_EQ(boxes.shown[0].text, SessionRecorder::stoppedText(file, EIO));
        EXPECT_EQ(lines(file).size(), c.stop ? 3u : 2u) << "with the close line when it stopped";
    }
}

// The record's hash chain shows what happened to it after it was written: a
// line changed, removed, put elsewhere, lines cut from a session's end, a line
// added by another program; a last line cut by a crash breaks nothing, and a
// record made before the chain carries none. The review and verify follow the
// same chain and say where it breaks; verify has an exit of its own for it.
TEST_F(Recorder, TheChainShowsEachEditAndWhereItIs)
{
    const QString file = path("session.jsonl");
    ASSERT_TRUE(recorder.start(file, QStringLiteral("COM1")));
    for (const char* frame : {"\x02" "a=?\x03", "\x02" "a=1000\x03", "\x02" "v=?\x03", "\x02" "v=27.9\x03"})
        recorder.traffic(event(TrafficDirection::Sent, frame));
    recorder.stop();
    ASSERT_TRUE(recorder.start(file, QString()));
    recorder.traffic(event(TrafficDirection::Sent, "\x02" "c=?\x03"));
    recorder.stop();
    QFile read(file);
    ASSERT_TRUE(read.open(QIODevice::ReadOnly));
    const QList<QByteArray> written = read.readAll().split('\n'); // 6 + 3 lines and an empty end
    ASSERT_EQ(written.size(), 10);
    const auto joined = [&](std::vector<int> order = {0, 1, 2, 3, 4, 5, 6, 7, 8}) {
        QByteArray text;
        for (int i : order) text += written[i] + '\n';
        return text;
    };
    using Verdict = session::ChainCheck::Verdict;
    const struct {
        QByteArray text;
        Verdict verdict;
        std::uint64_t at;
        const char* why;
    } cases[] = {
        {joined(), Verdict::Holds, 0, "head "},
        {joined().replace("1000", "1100"), Verdict::Broken, 3, "edited"},
        {joined({0, 1, 3, 4, 5, 6, 7, 8}), Verdict::Broken, 3, "1 line(s) removed before it"},
        {joined({0, 1, 3, 2, 4, 5, 6, 7, 8}), Verdict::Broken, 3, "reordered"},
        {joined({0, 1, 2, 5, 6, 7, 8}), Verdict::Broken, 4, "2 line(s) missing at the end of session 1"},
        {joined({0, 1, 2, 3, 6, 7, 8}), Verdict::Broken, 5, "lines missing at the end of the session before it"},
        {joined() + R"({"time":"2026-12-08T00:00:00.000Z","alarm":"x"})" "\n", Verdict::Broken, 10, "added by another program"},
        {joined({0, 1, 2, 3, 4, 5, 6, 7}) + written[8].left(20), Verdict::Holds, 0, "cut by a crash"},
        {R"({"time":"2026-12-07T20:00:00.000Z","program":"uavControl","port":"COM1"})" "\n", Verdict::NoChain, 0,
         "carries no chain"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        const QString copy = path("copy.jsonl");
        QFile out(copy);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate) && out.write(c.text) == c.text.size() && out.flush());
        const ProgramRun run = runWithoutDisplay(QStringLiteral(XPDRCTL_PROGRAM), {QStringLiteral("verify"), copy});
        EXPECT_EQ(run.exitCode, c.verdict == Verdict::Holds ? fw::exitcode::Ok : fw::exitcode::ChainBroken);
        EXPECT_TRUE(run.out.contains(QLatin1String(c.why)) &&
                    run.out.contains(c.at ? QStringLiteral("breaks at line %1: ").arg(c.at) : QStringLiteral(": ")))
            << run.out.toStdString();
        EXPECT_EQ(run.out.contains(" in 2 session(s), head " + session::checkChain(copy).head), c.verdict == Verdict::Holds);

        session::RecordingIndex index;
        ASSERT_TRUE(index.open(copy));
        ASSERT_TRUE(runUntil([&] { return index.complete(); }, 10'000));
        using Chain = session::RecordingIndex::Chain;
        EXPECT_EQ(index.chain(), c.verdict == Verdict::Holds     ? Chain::Holds
                                 : c.verdict == Verdict::NoChain ? Chain::None
                                                                 : Chain::Broken);
        EXPECT_EQ(c.verdict == Verdict::Broken ? index.chainBreak() + 1 : 0, c.at);
    }
}
