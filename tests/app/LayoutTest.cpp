// The window keeps its designed size as its least, and the status bar cuts
// what does not fit with "…", keeping the whole within reach.
#include "PanelFixture.h"

#include "app/StatusSection.h"

#include <QMenuBar>

TEST(StatusSectionText, ATextThatDoesNotFitIsCutWithAnEllipsisAndTheTooltipLeadsWithTheWhole)
{
    const QString file = QStringLiteral("Recording séssion 1.jsonl");
    const QString link = QStringLiteral("COM1 \u2192 /dev/ttyUSB0 \u00b7 9600 8N1 \u00b7 connected");
    const QString detail = QStringLiteral("the device answers");
    const struct {
        QString text, toolTip;
        int width;
        bool cut;
        QString shownToolTip;
    } rows[] = {
        {file, {}, 400, false, file},
        {file, {}, 80, true, file},
        {link, detail, 400, false, detail},
        {link, detail, 80, true, link + QLatin1Char('\n') + detail},
        {link, QStringLiteral("Opened: ") + link, 80, true, QStringLiteral("Opened: ") + link},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text.toStdString() + " at " + std::to_string(row.width));
        StatusSection section;
        section.resize(row.width, 19);
        section.setTextAndToolTip(row.text, row.toolTip);
        const QString shown = section.shownText();
        EXPECT_EQ(shown.endsWith(QChar(0x2026)), row.cut);
        EXPECT_TRUE(row.text.startsWith(shown.chopped(row.cut ? 1 : 0)));
        EXPECT_LE(section.fontMetrics().horizontalAdvance(shown), row.width);
        EXPECT_EQ(section.shownToolTip(), row.shownToolTip);
        EXPECT_EQ(section.text(), row.text);
    }
}

using Layout = PanelTest;

TEST_F(Layout, TheWindowShrinksNoSmallerThanItsDesignedSize)
{
    form->show();
    const QSize designed(734, 534 + form->menuBar()->height());
    EXPECT_EQ(form->size(), designed);
    form->resize(300, 200);
    EXPECT_EQ(form->size(), designed);
}
