// The xpdrctl program end to end, started as a script would start it (no
// display): against the simulated transponder, and against pseudo-terminals
// the tests play themselves.
#include "framework/ExitCodes.h"
#include "platform/PosixSerialDevice.h"
#include "tests/testkit/EventLoopWait.h"
#include "tests/testkit/PortDirectory.h"
#include "tests/testkit/PtyPair.h"
#include "tests/testkit/RunProgram.h"
#include "tests/testkit/SimulatorProcess.h"
#include "tests/testkit/SpecialFiles.h"
#include "tools/xpdrctl/StatusOutput.h"

#include <QDateTime>
#include <QFile>
#include <QMap>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <memory>
#include <thread>

namespace {

const QString Program = QStringLiteral(XPDRCTL_PROGRAM);

ProgramRun runXpdrctl(const QStringList& arguments)
{
    return runWithoutDisplay(Program, arguments);
}

QStringList onCom1(const QStringList& arguments)
{
    return QStringList{QStringLiteral("--port"), QStringLiteral("COM1")} + arguments;
}

std::string framed(const std::string& content)
{
    return '\x02' + content + '\x03';
}

class XpdrctlAgainstSimulator : public ::testing::Test {
protected:
    void start(const QStringList& options = {})
    {
        simulator = std::make_unique<SimulatorProcess>(1, QStringList{QStringLiteral("--log")} + options);
        ASSERT_TRUE(simulator->ready()) << "the simulator did not start";
    }
    void TearDown() override { simulator.reset(); }

    // The frames the simulator has received since the last call, once `count` of
    // them have come through its log.
    QStringList framesIn(qsizetype count)
    {
        QStringList frames;
        runUntil([&] {
            frames += simulator->framesIn();
            return frames.size() >= count;
        }, 5000);
        return frames;
    }

    PortDirectory ports;
    std::unique_ptr<SimulatorProcess> simulator;
};

} // namespace

TEST_F(XpdrctlAgainstSimulator, EachVerbSendsThePanelsFramesAndReadsTheItemBack)
{
    start({QStringLiteral("--rate"), QStringLiteral("20")}); // reports in between, to be ignored
    struct Case {
        QStringList arguments;
        QStringList framesSent;
        const char* printed; // a regular expression for the whole of stdout
    };
    const Case cases[] = {
        {{"send", "c=7500"}, {"c=7500"}, "c=7500\n"}, // raw: no --emergency asked for
        {{"set", "code", "7700", "--emergency"}, {"c=7700", "c=?"}, "code: 7700\n"},
        {{"set", "mode", "a"}, {"s=a", "s=?"}, "mode: Mode A\n"},
        {{"set", "replies", "off"}, {"r=n", "r=?"}, "replies: Disabled\n"},
        {{"set", "offset", "3.4"}, {"f=3.4", "f=?"}, "offset: 3.4 V\n"},
        {{"set", "encoder", "serial"}, {"d=s", "d=?"}, "encoder: Serial\n"},
        {{"set", "volts", "14"}, {"v=1", "v=?"}, "volts: 13.8\n"},
        {{"spi"}, {"i=s", "i=?"}, "spi: Active\n"},
        {{"ping"}, {"p=y"}, "ping: \\d+\\.\\d ms\n"},
        {{"send", "z=?"}, {"z=?"}, "z=2.14\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.join(u' ').toStdString());
        const ProgramRun run = runXpdrctl(onCom1(c.arguments));
        EXPECT_EQ(run.exitCode, fw::exitcode::Ok) << run.err.toStdString();
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^%1$").arg(QLatin1String(c.printed))).match(run.out).hasMatch())
            << run.out.toStdString();
        EXPECT_EQ(run.err, QString());
        EXPECT_EQ(framesIn(c.framesSent.size()), c.framesSent);
    }

    // Everything set above, read back in one sequence as JSON.
    const ProgramRun run = runXpdrctl(onCom1({"status", "--json"}));
    ASSERT_EQ(run.exitCode, fw::exitcode::Ok) << run.err.toStdString();
    EXPECT_EQ(run.out.count(u'\n'), 1);
    QJsonParseError error;
    const QJsonObject status = QJsonDocument::fromJson(run.out.toUtf8(), &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << run.out.toStdString();
    const std::pair<const char*, const char*> items[] = {
        {"mode", "Mode A"}, {"code", "7700"},   {"replies", "Disabled"}, {"spi", "Active"}, {"volts", "13.8"},
        {"offset", "3.4 V"}, {"version", "2.14"}, {"ping", ""},
    };
    for (const auto& [key, text] : items) EXPECT_EQ(status[key].toString(), QLatin1String(text)) << key;
    EXPECT_TRUE(status["altitude"].toString().toInt() > 0);
    EXPECT_EQ(status["raw"].toObject()["d"].toString(), QStringLiteral("s"));
    EXPECT_EQ(status["raw"].toObject()["n"].toString(), QStringLiteral("04172"));
    EXPECT_EQ(status["answered"].toInt(), 14);
    EXPECT_EQ(status["unanswered"].toArray(), QJsonArray());
    EXPECT_EQ(status["emergency"].toString(), QStringLiteral("general emergency"));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z$"))
                    .match(status["time"].toString())
                    .hasMatch());
    QStringList queries;
    for (char letter : std::string("acfirsvounldze")) queries << QStringLiteral("%1=?").arg(QLatin1Char(letter));
    EXPECT_EQ(framesIn(queries.size()), queries);
    EXPECT_TRUE(runXpdrctl(onCom1({"status"})).out.contains(QStringLiteral("\ncode: 7700 (general emergency)\n")));
}

// A transponder that answers 450 ms after each query, too late for the panel:
// the check fails each item, an answer the round gave up on as "late" and one
// that never came in time as unanswered; waiting longer does not make it pass.
TEST_F(XpdrctlAgainstSimulator, CheckFailsAnItemAnsweredLaterThanThePanelWaits)
{
    start({QStringLiteral("--delay"), QStringLiteral("450")});
    const ProgramRun run = runXpdrctl(onCom1({"check", "--expect", "code=1200", "--expect", "mode=standby"}));
    EXPECT_EQ(run.exitCode, fw::exitcode::CheckFailed) << run.err.toStdString();
    // Mode is asked first; its answer comes while code's query waits, and code's after the round.
    EXPECT_EQ(run.out, QStringLiteral("code: expected 1200, unanswered: FAIL\n"
                                      "mode: expected Standby, reported Standby (late): FAIL\n"));
    const ProgramRun json = runXpdrctl(onCom1({"check", "--json", "--timeout", "1000", "--expect", "code=1200",
                                               "--aircraft", "UAV-07", "--operator", "J. Doe"}));
    EXPECT_EQ(json.exitCode, fw::exitcode::CheckFailed) << json.err.toStdString();
    const QJsonObject report = QJsonDocument::fromJson(json.out.toUtf8()).object();
    EXPECT_EQ(report["aircraft"], "UAV-07");
    EXPECT_EQ(report["operator"], "J. Doe");
    EXPECT_EQ(report["items"], QJsonArray({QJsonObject{{"item", "code"}, {"expectation", "code=1200"},
                                                        {"expected", "1200"}, {"reported", "1200"}, {"answered", true},
                                                        {"late", true}, {"result", "FAIL"}}}));
}

TEST_F(XpdrctlAgainstSimulator, StatusPrintsTheNineItemsAndADevicePathWorksAsWellAsCom)
{
    start();
    const std::string device = std::filesystem::read_symlink(ports.entry(1)).string();
    for (const QString& port : {QStringLiteral("COM1"), QString::fromStdString(device)}) {
        SCOPED_TRACE(port.toStdString());
        const ProgramRun run = runXpdrctl({QStringLiteral("--port"), port, QStringLiteral("status")});
        EXPECT_EQ(run.exitCode, fw::exitcode::Ok) << run.err.toStdString();
        EXPECT_EQ(run.out, QStringLiteral("mode: Standby\ncode: 1200\nreplies: Enabled\nspi: \naltitude: 1000\n"
                                          "volts: 27.9\noffset: 1.2 V\nversion: 2.14\nping: \n"));
    }
}

TEST_F(XpdrctlAgainstSimulator, ASilentTransponderExits4WithEveryLetterListed)
{
    start({QStringLiteral("--silent")});
    const ProgramRun status = runXpdrctl(onCom1({"status", "--timeout", "20"}));
    EXPECT_EQ(status.exitCode, fw::exitcode::Unanswered);
    EXPECT_EQ(status.err, QStringLiteral("xpdrctl: unanswered: a c f i r s v o u n l d z e\n"));
    for (const QStringList& arguments : {QStringList{"set", "code", "7700", "--emergency"}, QStringList{"ping"}, QStringList{"send", "c=?"}}) {
        const ProgramRun run = runXpdrctl(onCom1(arguments + QStringList{"--timeout", "20"}));
        EXPECT_EQ(run.exitCode, fw::exitcode::Unanswered) << arguments.join(u' ').toStdString();
    }
    const ProgramRun check = runXpdrctl(onCom1({"check", "--expect", "ping", "--timeout", "20"}));
    EXPECT_EQ(check.exitCode, fw::exitcode::CheckFailed);
    EXPECT_EQ(check.out, QStringLiteral("ping: expected Received, unanswered: FAIL\n"));
}

TEST_F(XpdrctlAgainstSimulator, CheckExits0WhenEveryItemPassesAnd6WhenOneFailsOrGoesUnanswered)
{
    start();
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("aircraft-07.expect"));
    QFile expect(file);
    ASSERT_TRUE(expect.open(QIODevice::WriteOnly));
    expect.write("# aircraft 07\nmode=standby\ncode=1200\nreplies=on\nvolts=26.0..29.5\nversion=2.14\n");
    expect.close();
    const struct {
        QStringList arguments;
        int exitCode;
        const char* printed;
    } cases[] = {
        {{"--expect-file", file, "--expect", "ping"}, fw::exitcode::Ok,
         "mode: expected Standby, reported Standby: PASS\ncode: expected 1200, reported 1200: PASS\n"
         "replies: expected Enabled, reported Enabled: PASS\nvolts: expected 26.0 .. 29.5, reported 27.9: PASS\n"
         "version: expected 2.14, reported 2.14: PASS\nping: expected Received, reported Received: PASS\n"},
        {{"--expect", "mode=c", "--expect", "volts=28.0..29.5"}, fw::exitcode::CheckFailed,
         "mode: expected Mode C, reported Standby: FAIL\nvolts: expected 28.0 .. 29.5, reported 27.9: FAIL\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(u' ').toStdString());
        const ProgramRun run = runXpdrctl(onCom1(QStringList{"check"} + c.arguments));
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err.toStdString();
        EXPECT_EQ(run.out, QLatin1String(c.printed));
    }
    const ProgramRun json = runXpdrctl(onCom1({"check", "--json", "--expect", "code=7700"}));
    EXPECT_EQ(json.exitCode, fw::exitcode::CheckFailed);
    const QJsonObject report = QJsonDocument::fromJson(json.out.toUtf8()).object();
    EXPECT_EQ(report["passed"], false);
    EXPECT_EQ(report["port"], "COM1");
    EXPECT_EQ(report["items"], QJsonArray({QJsonObject{{"item", "code"}, {"expectation", "code=7700"},
                                                        {"expected", "7700"}, {"reported", "1200"},
                                                        {"answered", true}, {"result", "FAIL"}}}));
}

TEST_F(XpdrctlAgainstSimulator, WatchPrintsASequenceALineUntilSigtermAndListsWhatWentUnanswered)
{
    start();
    QProcess watch;
    watch.start(Program, onCom1({"watch", "--json", "--interval", "0.1"}));
    ASSERT_TRUE(watch.waitForStarted());
    QList<QByteArray> lines;
    while (lines.size() < 2 && watch.waitForReadyRead(5000))
        while (watch.canReadLine()) lines << watch.readLine();
    ASSERT_EQ(lines.size(), 2);
    for (const QByteArray& line : lines) EXPECT_EQ(QJsonDocument::fromJson(line).object()["answered"].toInt(), 14);
    ::kill(static_cast<pid_t>(watch.processId()), SIGTERM);
    ASSERT_TRUE(watch.waitForFinished(5000));
    EXPECT_EQ(watch.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(watch.exitCode(), fw::exitcode::Ok);

    // A silent line is printed with its unanswered letters, and watch goes on;
    // only the port going away ends it, with an error.
    simulator.reset();
    start({QStringLiteral("--silent")});
    watch.start(Program, onCom1({"watch", "--timeout", "10", "--interval", "0.1"}));
    QByteArray silent;
    while (silent.count('\n') < 2 && watch.waitForReadyRead(5000)) silent += watch.readAllStandardOutput();
    EXPECT_EQ(silent.count('\n'), 2);
    EXPECT_TRUE(silent.endsWith(" ping= unanswered=a,c,f,i,r,s,v,o,u,n,l,d,z,e\n")) << silent.toStdString();
    simulator->kill();
    ASSERT_TRUE(watch.waitForFinished(5000));
    EXPECT_EQ(watch.exitCode(), fw::exitcode::PortUnavailable);
    EXPECT_FALSE(watch.readAllStandardError().isEmpty());
}

TEST_F(XpdrctlAgainstSimulator, APortThatCannotBeOpenedExits3WithTheSystemsReason)
{
    start();
    platform::PosixSerialDevice holder;
    ASSERT_EQ(holder.open("COM1"), 0);
    const ProgramRun busy = runXpdrctl(onCom1({"status"}));
    EXPECT_EQ(busy.exitCode, fw::exitcode::PortUnavailable);
    EXPECT_TRUE(busy.err.contains(QStringLiteral("busy"))) << busy.err.toStdString();
    EXPECT_EQ(busy.err.count(u'\n'), 1);
    EXPECT_EQ(busy.out, QString());
    holder.close();

    // COM10 and above fall back to no device at all.
    const ProgramRun missing = runXpdrctl({"--port", "COM42", "status"});
    EXPECT_EQ(missing.exitCode, fw::exitcode::PortUnavailable);
    EXPECT_TRUE(missing.err.startsWith(QStringLiteral("xpdrctl: COM42: "))) << missing.err.toStdString();
}

TEST(XpdrctlProgram, AReadBackIsJudgedByWhatTheTransponderAnswers)
{
    struct Exchange {
        std::string sent;
        std::string answer; // whole frames, as the transponder sends them
    };
    struct Case {
        QStringList arguments;
        std::vector<Exchange> exchanges;
        int exitCode;
        const char* said; // on stdout when it worked, on stderr when not
    };
    const Case cases[] = {
        {{"set", "code", "7700", "--emergency"}, {{"c=7700", framed("c=7700")}, {"c=?", framed("c=1200")}}, fw::exitcode::ReadBackDiffers,
         "xpdrctl: set code: the transponder answered '1200', not 7700\n"},
        {{"set", "code", "7700", "--emergency"}, {{"c=7700", framed("c=7700")}, {"c=?", framed("*=") + framed("c=7700")}},
         fw::exitcode::Ok, "code: 7700\n"},
        {{"set", "mode", "c"}, {{"s=c", framed("s=l")}, {"s=?", framed("s=l")}}, fw::exitcode::Ok,
         "mode: Mode C/Alt\n"},
        {{"set", "offset", "3.4"}, {{"f=3.4", framed("f=3.4")}, {"f=?", framed("f=3.45")}}, fw::exitcode::Ok,
         "offset: 3.45 V\n"},
        {{"set", "offset", "3.4"}, {{"f=3.4", framed("f=3.4")}, {"f=?", framed("f=3.5")}},
         fw::exitcode::ReadBackDiffers, "xpdrctl: set offset: the transponder answered '3.5', not 3.4 V\n"},
        {{"set", "replies", "on"}, {{"r=y", framed("r=Y")}, {"r=?", framed("r=N")}}, fw::exitcode::ReadBackDiffers,
         "xpdrctl: set replies: the transponder answered 'N', not Enabled\n"},
        {{"spi"}, {{"i=s", framed("i=1")}, {"i=?", framed("i=0")}}, fw::exitcode::ReadBackDiffers,
         "xpdrctl: spi: the transponder answered '0', not active\n"},
        {{"ping"}, {{"p=y", framed("p=N")}}, fw::exitcode::ReadBackDiffers,
         "xpdrctl: ping: the transponder answered 'N', not Y\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.join(u' ').toStdString());
        PortDirectory ports;
        PtyPair line;
        ports.map(5, line.slavePath());
        QProcess program;
        program.start(Program, QStringList{"--port", "COM5", "--timeout", "2000"} + c.arguments);
        ASSERT_TRUE(program.waitForStarted());
        for (const Exchange& exchange : c.exchanges) {
            EXPECT_EQ(line.receive(exchange.sent.size() + 2), framed(exchange.sent));
            line.send(exchange.answer);
        }
        ASSERT_TRUE(program.waitForFinished(5000));
        EXPECT_EQ(program.exitCode(), c.exitCode);
        const QByteArray said = c.exitCode == fw::exitcode::Ok ? program.readAllStandardOutput()
                                                               : program.readAllStandardError();
        EXPECT_EQ(said.toStdString(), c.said);
    }
}

TEST(XpdrctlProgram, TheTransponderBytesReachTheTerminalAsTheMonitorWritesThemUnlessRaw)
{
    const struct {
        std::string sent;    // by the transponder, as the version
        std::string printed; // without --raw
        std::string raw;     // with --raw: Latin-1 as UTF-8, the rest as it came
    } cases[] = {
        {"\x1b]0;owned\x07", "<1B>]0;owned<07>", "\x1b]0;owned\x07"},
        {"\x1b[2J\x1b[H", "<1B>[2J<1B>[H", "\x1b[2J\x1b[H"},
        {"a\rb\x7f", "a<0D>b<7F>", "a\rb\x7f"},
        {"\x9b" "31m", "<9B>31m", "\xc2\x9b" "31m"},
        {"caf\xe9", "caf<E9>", "caf\xc3\xa9"},
        {"<b>x</b>", "<b>x</b>", "<b>x</b>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.printed);
        for (const bool raw : {false, true}) {
            SCOPED_TRACE(raw ? "--raw" : "escaped");
            const std::string& expected = raw ? c.raw : c.printed;

            // status and watch, as they print a sequence.
            transponder::SequenceRecord record;
            record.status.show(transponder::Item::Version, c.sent);
            EXPECT_NE(xpdrctl::statusLines(record, raw).find("version: " + expected + '\n'), std::string::npos);
            const std::string quoted = expected.find_first_of(" \t\"=\\") == std::string::npos ? expected
                                                                                              : '"' + expected + '"';
            EXPECT_NE(xpdrctl::watchLine(record, raw).find(" version=" + quoted + ' '), std::string::npos);
            // JSON escapes by its own rules and carries the bytes exactly.
            const std::string jsonLine = xpdrctl::jsonLine(record);
            const QString jsonText = QString::fromUtf8(jsonLine).chopped(1);
            const auto control = [](QChar ch) { return ch.category() == QChar::Other_Control; };
            EXPECT_FALSE(std::any_of(jsonText.begin(), jsonText.end(), control)) << jsonLine;
            const QJsonDocument json = QJsonDocument::fromJson(QByteArray::fromStdString(jsonLine));
            EXPECT_EQ(json.object().value(QStringLiteral("version")).toString(),
                      QString::fromLatin1(c.sent.data(), static_cast<qsizetype>(c.sent.size())));

            // send, end to end.
            PortDirectory ports;
            PtyPair line;
            ports.map(5, line.slavePath());
            QStringList arguments{"--port", "COM5", "--timeout", "2000", "send", "v=?"};
            if (raw) arguments << QStringLiteral("--raw");
            QProcess program;
            program.start(Program, arguments);
            ASSERT_TRUE(program.waitForStarted());
            EXPECT_EQ(line.receive(5), framed("v=?"));
            line.send(framed("v=" + c.sent));
            ASSERT_TRUE(program.waitForFinished(5000));
            EXPECT_EQ(program.exitCode(), fw::exitcode::Ok);
            EXPECT_EQ(program.readAllStandardOutput().toStdString(), "v=" + expected + '\n');
        }
    }
}

TEST(XpdrctlProgram, EachBadInputExits2WithOneLineThatSaysWhatWasWrong)
{
    const struct {
        QStringList arguments;
        const char* named;
    } cases[] = {
        {{"status"}, "--port is required"},
        {{"--port", "COM0", "status"}, "'COM0'"},
        {{"--port", "COM256", "status"}, "'COM256'"},
        {{"--port", "ttyUSB0", "status"}, "'ttyUSB0'"},
        {{"--port", "COM1"}, "no command"},
        {{"--port", "COM1", "reboot"}, "unknown command 'reboot'"},
        {{"--port", "COM1", "set", "code", "7800"}, "'7800' is not four octal digits"},
        {{"--port", "COM1", "set", "code", "770"}, "'770' is not four octal digits"},
        {{"--port", "COM1", "set", "code", "7700"}, "7700 is the emergency code for general emergency; give --emergency"},
        {{"--port", "COM1", "set", "code", "7500"}, "7500 is the emergency code for unlawful interference"},
        {{"--port", "COM1", "set", "mode", "a", "--emergency"}, "--emergency goes with set code"},
        {{"--port", "COM1", "set", "offset", "-0.5"}, "'-0.5' is negative"},
        {{"--port", "COM1", "set", "offset", "1,5"}, "with a point as the decimal sign"},
        {{"--port", "COM1", "set", "volts", "12"}, "'12' is not 14 or 28"},
        {{"--port", "COM1", "set", "mode", "b"}, "'b' is not standby, a or c"},
        {{"--port", "COM1", "set", "colour", "red"}, "unknown item 'colour'"},
        {{"--port", "COM1", "set", "code"}, "needs an item and a value"},
        {{"--port", "COM1", "status", "extra"}, "unexpected argument 'extra'"},
        {{"--port", "COM1", "status", "--timeout", "0"}, "'0' is not a time-out"},
        {{"--port", "COM1", "status", "--interval", "2"}, "--interval goes with watch"},
        {{"--port", "COM1", "ping", "--json"}, "--json goes with status, watch and check"},
        {{"--port", "COM1", "check"}, "check: no expectation given"},
        {{"--port", "COM1", "check", "--expect", "volts=29.5..26"}, "'volts=29.5..26': '29.5..26' will not do; expected volts=LOW..HIGH"},
        {{"--port", "COM1", "check", "--expect-file", "/nonexistent/x"}, "cannot read '/nonexistent/x'"},
        {{"--port", "COM1", "status", "--expect", "ping"}, "--expect goes with check"},
        {{"--port", "COM1", "status", "--aircraft", "UAV-07"}, "--aircraft goes with check"},
        {{"--port", "COM1", "status", "--verbose"}, "unknown option '--verbose'"},
        {{"export", "r.jsonl"}, "export: give the format (--csv)"},
        {{"export", "--csv"}, "export: needs a recording's file"},
        {{"--port", "COM1", "export", "r.jsonl", "--csv"}, "--port does not go with export"},
        {{"--port", "COM1", "status", "--csv"}, "--csv goes with export"},
        {{"export", "r.jsonl", "--csv", "--session", "0"}, "'0' is not a session number from 1"},
        {{"export", "/nonexistent/r.jsonl", "--csv"}, "/nonexistent/r.jsonl: No such file or directory"},
        {{"verify"}, "verify: needs a recording's file"},
        {{"--port", "COM1", "verify", "r.jsonl"}, "--port does not go with verify"},
        {{"verify", "/nonexistent/r.jsonl"}, "/nonexistent/r.jsonl: No such file or directory"},
        {{"--port", "COM1", "--port", "COM2", "status"}, "only watch takes several ports"},
        {{"--port", "COM1", "--port", "COM1", "watch"}, "'COM1' is given twice"},
        {{"--port", "COM1", "--port", "/dev/ttyUSB0", "watch"}, "watch over several ports takes COM names only"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(u' ').toStdString());
        const ProgramRun run = runXpdrctl(c.arguments);
        EXPECT_EQ(run.exitCode, fw::exitcode::Usage);
        EXPECT_EQ(run.out, QString());
        EXPECT_TRUE(run.err.startsWith(QStringLiteral("xpdrctl: "))) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(QLatin1String(c.named))) << run.err.toStdString();
        EXPECT_EQ(run.err.count(u'\n'), 1) << run.err.toStdString();
    }
}

// export reads a recording from a pipe as well as from a file (`zcat … |
// xpdrctl export /dev/stdin`), and refuses a device, a socket or a folder with
// the exit of bad input before reading anything.
TEST(XpdrctlProgram, ExportReadsAPipeAndRefusesDevicesSocketsAndFoldersWith2)
{
    for (SpecialFile kind : SpecialFiles) {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("r.jsonl"));
        ASSERT_TRUE(makeSpecialFile(kind, path));
        std::thread writer([&] {
            if (kind != SpecialFile::NamedPipe) return;
            QFile pipe(path);
            if (pipe.open(QIODevice::WriteOnly))
                pipe.write(R"({"port":"COM1","program":"uavControl","time":"2026-12-07T20:36:54.521Z"})" "\n"
                           R"({"answered":14,"code":"1200","time":"2026-12-07T20:36:55.000Z","unanswered":[]})" "\n");
        });
        const ProgramRun run = runXpdrctl({QStringLiteral("export"), path, QStringLiteral("--csv")});
        writer.join();
        const bool pipe = kind == SpecialFile::NamedPipe;
        EXPECT_EQ(run.exitCode, pipe ? fw::exitcode::Ok : fw::exitcode::Usage) << specialFileName(kind);
        EXPECT_EQ(run.out.count(u'\n'), pipe ? 2 : 0) << run.out.toStdString(); // the header and the sequence
        EXPECT_EQ(run.err, pipe ? QString() : QStringLiteral("xpdrctl: %1: %2 is not a regular file\n")
                                                   .arg(path, specialFileName(kind)));
    }
}

TEST(XpdrctlProgram, HelpListsTheExitCodes)
{
    const ProgramRun help = runXpdrctl({QStringLiteral("--help")});
    EXPECT_EQ(help.exitCode, fw::exitcode::Ok);
    for (const char* line : {"  0  ok\n", "  2  bad usage", "  3  the port could not be opened", "  4  an item went",
                             "  5  a setting read back differs", "  6  check failed"})
        EXPECT_TRUE(help.out.contains(QLatin1String(line))) << line;
}

TEST_F(XpdrctlAgainstSimulator, WatchOverThreePortsGoesOnWhileOneIsLostAndTakesItBackWhenItReturns)
{
    start();
    auto lost = std::make_unique<SimulatorProcess>(2, QStringList{});
    SimulatorProcess silent(3, {QStringLiteral("--silent")}); // its every item waits out the time-out
    ASSERT_TRUE(lost->ready() && silent.ready());
    QProcess watch;
    watch.start(Program, {"--port", "COM1", "--port", "COM2", "--port", "COM3", "watch", "--json", "--interval",
                          "0.2", "--timeout", "400"});
    QMap<QString, QList<QDateTime>> sequences; // when each port's sequences were stamped
    QString err;
    const auto until = [&](const std::function<bool()>& done) {
        return runUntil([&] {
            err += QString::fromLocal8Bit(watch.readAllStandardError());
            while (watch.canReadLine()) {
                const QJsonObject line = QJsonDocument::fromJson(watch.readLine()).object();
                sequences[line["port"].toString()] << QDateTime::fromString(line["time"].toString(), Qt::ISODateWithMs);
            }
            return done();
        }, 10000);
    };
    ASSERT_TRUE(until([&] { return sequences["COM2"].size() >= 2; }));
    EXPECT_EQ(sequences.keys(), QStringList({"COM1", "COM2"})) << "every line names its port";

    lost->kill();
    ASSERT_TRUE(until([&] { return err.contains(QStringLiteral("xpdrctl: COM2: lost: ")); })) << err.toStdString();
    const qsizetype firsts = sequences["COM1"].size(), seconds = sequences["COM2"].size();
    ASSERT_TRUE(until([&] { return sequences["COM1"].size() >= firsts + 5; }));
    lost = std::make_unique<SimulatorProcess>(2, QStringList{});
    ASSERT_TRUE(until([&] { return sequences["COM2"].size() > seconds && sequences["COM3"].size() >= 1; }));
    const QRegularExpression lostAndBack(QStringLiteral("^xpdrctl: COM2: lost: .+\nxpdrctl: COM2: back\n$"));
    EXPECT_TRUE(lostAndBack.match(err).hasMatch()) << err.toStdString(); // one line each
    // Neither the lost port nor the silent one held COM1 up. Had the silent
    // one, COM1's sequences would be spaced by its round, nine time-outs
    // (3.6 s); the bound leaves room for a busy machine, not for that.
    for (qsizetype i = 2; i < sequences["COM1"].size(); ++i)
        EXPECT_LT(sequences["COM1"][i - 1].msecsTo(sequences["COM1"][i]), 2000) << i;
    watch.terminate(); // SIGTERM
    EXPECT_TRUE(watch.waitForFinished(5000) && watch.exitCode() == fw::exitcode::Ok);
}

TEST_F(XpdrctlAgainstSimulator, WatchOverSeveralPortsExits3OnlyWhenNoneOpensAtTheStart)
{
    start();
    const std::pair<QStringList, int> cases[] = { // the ports, and the status once a SIGTERM follows a sequence
        {{"--port", "COM41", "--port", "COM42"}, fw::exitcode::PortUnavailable},
        {{"--port", "COM42", "--port", "COM1"}, fw::exitcode::Ok},
    };
    for (const auto& [ports, exitCode] : cases) {
        QProcess watch;
        watch.start(Program, ports + QStringList{"watch", "--interval", "0.1"});
        // A whole first line, or the end: on a busy machine the line may come
        // in parts, and the complaint about COM42 comes first on stderr.
        ASSERT_TRUE(runUntil([&] { return watch.canReadLine() || watch.state() == QProcess::NotRunning; }, 20000));
        if (watch.canReadLine()) {
            EXPECT_TRUE(watch.readLine().startsWith("COM1: 20"));
            ::kill(static_cast<pid_t>(watch.processId()), SIGTERM);
        }
        ASSERT_TRUE(watch.state() == QProcess::NotRunning || watch.waitForFinished(5000));
        EXPECT_EQ(watch.exitCode(), exitCode) << ports.join(u' ').toStdString();
        EXPECT_TRUE(watch.readAllStandardError().contains("xpdrctl: COM42: not in the port directory"));
    }
}
