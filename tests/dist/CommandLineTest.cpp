// The panel's command line, on the real program started from a console with no
// display: --help and --version answer there, bad usage ends with one line.
#include "tests/testkit/RunProgram.h"
#include "version/ProgramVersion.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

TEST(PanelCommandLine, AnswersHelpAndVersionWithoutADisplay)
{
    const ProgramRun help = runWithoutDisplay(QStringLiteral(PANEL_PROGRAM), {QStringLiteral("--help")});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.startsWith(QStringLiteral("Usage: uavcontrol "))) << help.out.toStdString();
    EXPECT_EQ(help.err, QString());
    EXPECT_EQ(runWithoutDisplay(QStringLiteral(PANEL_PROGRAM), {QStringLiteral("-h")}).out, help.out);

    const ProgramRun version = runWithoutDisplay(QStringLiteral(PANEL_PROGRAM), {QStringLiteral("--version")});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, QStringLiteral("uavcontrol %1\n").arg(QLatin1String(fw::ProgramVersion)));
    EXPECT_EQ(version.err, QString());
}

TEST(PanelCommandLine, RefusesWhatItDoesNotKnowWithOneLineAndStatus2)
{
    const struct {
        QStringList arguments;
        const char* named;
    } cases[] = {
        {{QStringLiteral("--record")}, "record"},
        {{QStringLiteral("-x")}, "x"},
        {{QStringLiteral("-platform"), QStringLiteral("offscreen")}, "platform"},
        {{QStringLiteral("COM1")}, "COM1"},
        {{QStringLiteral("--version=2")}, "version"},
        {{QStringLiteral("--help"), QStringLiteral("--bogus")}, "bogus"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(QLatin1Char(' ')).toStdString());
        const ProgramRun run = runWithoutDisplay(QStringLiteral(PANEL_PROGRAM), c.arguments);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.out, QString());
        EXPECT_TRUE(run.err.startsWith(QStringLiteral("uavcontrol: "))) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(QLatin1String(c.named))) << run.err.toStdString();
        EXPECT_EQ(run.err.count(QLatin1Char('\n')), 1) << run.err.toStdString();
    }
}

TEST(PanelCommandLine, WithoutArgumentsStillLooksForADisplayFirst)
{
    const ProgramRun run = runWithoutDisplay(QStringLiteral(PANEL_PROGRAM), {});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("no display"))) << run.err.toStdString();
}

TEST(ProgramVersion, IsTheProjectVersionOrASnapshotAfterIt)
{
    const QString version = QLatin1String(fw::ProgramVersion);
    EXPECT_TRUE(version.startsWith(QStringLiteral(PROJECT_VERSION)));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d+\\.\\d+\\.\\d+(\\+git\\d+\\.g[0-9a-f]{7})?$"))
                    .match(version)
                    .hasMatch())
        << version.toStdString();

    const struct {
        const char* name;
        const char* program;
    } tools[] = {{"xpdrsim", XPDRSIM_PROGRAM}, {"xpdrctl", XPDRCTL_PROGRAM}};
    for (const auto& tool : tools) {
        const ProgramRun run = runWithoutDisplay(QString::fromLocal8Bit(tool.program), {QStringLiteral("--version")});
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(run.out, QStringLiteral("%1 %2\n").arg(QLatin1String(tool.name), version));
    }
}
