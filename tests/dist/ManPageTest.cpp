// Each program's --help and its manual page list the same options, so that the
// two cannot drift apart.
#include "tests/testkit/RunProgram.h"

#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <gtest/gtest.h>

namespace {

using Names = QSet<QString>;

const QRegularExpression optionName(QStringLiteral("(?<![\\w-])--?[A-Za-z][\\w-]*"));

Names namesIn(const QString& text)
{
    Names names;
    for (auto match = optionName.globalMatch(text); match.hasNext();) names.insert(match.next().captured());
    return names;
}

// The options --help lists: each line of its option table starts, after the
// indentation, with the option's names, and two spaces part them from the text.
Names helpOptions(const QString& help)
{
    Names names;
    static const QRegularExpression entry(QStringLiteral("^ +(-\\S.*?)(  |$)"), QRegularExpression::MultilineOption);
    for (auto match = entry.globalMatch(help); match.hasNext();) names += namesIn(match.next().captured(1));
    return names;
}

// The options the page documents: the entries of its OPTIONS section, each a
// line that starts with the option in bold ("*--link* _COM<n>_").
Names pageOptions(const QString& page)
{
    const qsizetype start = page.indexOf(QStringLiteral("\n# OPTIONS\n"));
    if (start < 0) return {};
    const qsizetype end = page.indexOf(QStringLiteral("\n# "), start + 1);
    Names names;
    for (const QString& line : page.mid(start, end - start).split(QLatin1Char('\n')))
        if (line.startsWith(QStringLiteral("*-"))) names += namesIn(line);
    return names;
}

std::string sorted(const Names& names)
{
    QStringList list(names.begin(), names.end());
    list.sort();
    return list.join(QLatin1Char(' ')).toStdString();
}

} // namespace

TEST(ManPages, ListTheOptionsEachProgramsHelpLists)
{
    const struct {
        const char* page;
        const char* program;
    } programs[] = {
        {"uavcontrol.1.scd", PANEL_PROGRAM},
        {"xpdrsim.1.scd", XPDRSIM_PROGRAM},
        {"xpdrctl.1.scd", XPDRCTL_PROGRAM},
    };
    for (const auto& p : programs) {
        SCOPED_TRACE(p.page);
        const ProgramRun help = runWithoutDisplay(QString::fromLocal8Bit(p.program), {QStringLiteral("--help")});
        ASSERT_EQ(help.exitCode, 0);
        QFile file(QStringLiteral(MAN_PAGES "/") + QLatin1String(p.page));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();

        const Names fromHelp = helpOptions(help.out);
        EXPECT_TRUE(fromHelp.contains(QStringLiteral("--version")));
        QString page = QString::fromUtf8(file.readAll());
        EXPECT_EQ(sorted(pageOptions(page)), sorted(fromHelp));
        // xpdrctl's forms differ by more than options: its usage lines (aligned
        // under "Usage: ") and its SYNOPSIS without markup list the same ones.
        if (p.page == std::string_view("xpdrctl.1.scd")) {
            const qsizetype start = page.indexOf(QStringLiteral("\n# SYNOPSIS\n")) + 12;
            page = page.mid(start, page.indexOf(QStringLiteral("\n# "), start) - start).remove(u'*').remove(u'_');
            QString usage = help.out.left(help.out.indexOf(QStringLiteral("\n\n")));
            usage.remove(QRegularExpression(QStringLiteral("(?m)^.{7}")));
            EXPECT_EQ(page.split(u'\n', Qt::SkipEmptyParts).join(u'\n').toStdString(), usage.toStdString());
        }
    }
}
