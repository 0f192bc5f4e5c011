#include "SimulatorFixture.h"

#include "app/PanelApplication.h"

#include <QApplication>
#include <QDir>

#include <set>

namespace {

const char* const statusRows[] = {"funcDisplay", "lblCode", "ReplyIndi", "lblIdent", "lblAltitude",
                                  "lblVoltage",  "lblVoltOffset", "lblVersion", "lblPing"};

QStringList sequenceQueries()
{
    QStringList queries;
    for (const char* q : {"a", "c", "f", "i", "r", "s", "v", "o", "u", "n", "l", "d", "z", "e"})
        queries << QString::fromLatin1(q) + QStringLiteral("=?");
    return queries;
}

} // namespace

TEST_F(PanelAgainstSimulator, ConnectFireAndAutoFillAllNineRowsInSequenceOrder)
{
    start();
    click("btnConnect");
    ASSERT_TRUE(form->SerialComm->Active());
    simulator->framesIn();
    click("autobtn");
    // "SPI Status" stays empty while SPI is off, and the ping row shows only after a
    // ping, until the sequence's next query: trigger both once the sequence runs.
    ASSERT_TRUE(runUntil([&] { return !textOf("lblCode").isEmpty(); }, 2000));
    click("BitBtn3");
    click("btnPing");
    std::set<QString> filled;
    QStringList frames;
    ASSERT_TRUE(runUntil(
        [&] {
            for (const char* row : statusRows)
                if (!textOf(row).isEmpty()) filled.insert(QString::fromLatin1(row));
            frames += simulator->framesIn();
            return filled.size() == std::size(statusRows) && frames.contains(QStringLiteral("e=?"));
        },
        4000))
        << "only " << filled.size() << " rows filled";
    EXPECT_EQ(textOf("funcDisplay"), QStringLiteral("Standby"));
    EXPECT_EQ(textOf("lblCode"), QStringLiteral("1200"));
    EXPECT_EQ(textOf("lblVoltage"), QStringLiteral("27.9"));
    EXPECT_EQ(textOf("lblVoltOffset"), QStringLiteral("1.2 V"));
    EXPECT_EQ(textOf("lblVersion"), QStringLiteral("2.14"));
    EXPECT_EQ(textOf("lblIdent"), QStringLiteral("Active"));

    frames.removeAll(QStringLiteral("i=s"));
    frames.removeAll(QStringLiteral("p=y"));
    ASSERT_GE(frames.size(), 14);
    EXPECT_EQ(frames.mid(0, 14), sequenceQueries());
    EXPECT_TRUE(boxes.shown.empty());

    // A picture of the live panel, for the README.
    const QString folder = QCoreApplication::applicationDirPath() + QStringLiteral("/../../screenshots");
    QDir().mkpath(folder);
    setUpPanelApplication(*qApp);
    runFor(50);
    EXPECT_TRUE(form->grab().save(folder + QStringLiteral("/panel-live.png")));
}

TEST_F(PanelAgainstSimulator, EachSetButtonChangesTheTransponderAndTheNextSequenceShowsIt)
{
    start();
    click("btnConnect");
    find<TRadioGroup>("rbStatus")->setItemIndex(1);
    click("statusBtn");
    find<QLineEdit>("Edit1")->setText(QStringLiteral("7700"));
    click("BitBtn2");
    find<TRadioGroup>("rbInterrogate")->setItemIndex(1);
    click("InterrogateBtn");
    find<TRadioGroup>("rbVoltage")->setItemIndex(0);
    click("voltsetBtn");
    find<QLineEdit>("edVoltOffset")->setText(QStringLiteral("2.5"));
    click("btnVoltOffset");
    runFor(200);
    simulator->frames();
    click("autobtn");
    // The simulator confirms each setting at once; what counts here is its answer
    // to the next sequence's queries, and the display after it.
    QStringList wire;
    ASSERT_TRUE(runUntil(
        [&] {
            wire += simulator->frames();
            return wire.contains(QStringLiteral("in e=?"));
        },
        3000));
    auto answerTo = [&](const QString& query) {
        const qsizetype at = wire.indexOf(QStringLiteral("in ") + query);
        return at >= 0 && at + 1 < wire.size() ? wire[at + 1] : QString();
    };
    EXPECT_EQ(answerTo(QStringLiteral("s=?")), QStringLiteral("out s=a"));
    EXPECT_EQ(answerTo(QStringLiteral("c=?")), QStringLiteral("out c=7700"));
    EXPECT_EQ(answerTo(QStringLiteral("r=?")), QStringLiteral("out r=N"));
    EXPECT_EQ(answerTo(QStringLiteral("v=?")), QStringLiteral("out v=13.8"));
    EXPECT_EQ(answerTo(QStringLiteral("f=?")), QStringLiteral("out f=2.5"));
    runFor(100);
    EXPECT_EQ(textOf("funcDisplay"), QStringLiteral("Mode A"));
    EXPECT_EQ(textOf("lblCode"), QStringLiteral("7700"));
    EXPECT_EQ(textOf("ReplyIndi"), QStringLiteral("Disabled"));
    EXPECT_EQ(textOf("lblVoltage"), QStringLiteral("13.8"));
    EXPECT_EQ(textOf("lblVoltOffset"), QStringLiteral("2.5 V"));
    EXPECT_EQ(find<TRadioGroup>("rbStatus")->ItemIndex(), 1);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(PanelAgainstSimulator, ManualConsoleEchoesTheCommandAndTheReply)
{
    start({"--rate", "0"}); // no interrogation reports to get in between
    click("btnConnect");
    auto* line = find<QLineEdit>("CommStr");
    line->setText(QStringLiteral("s=?"));
    QTest::keyClick(line, Qt::Key_Return);
    auto* memo = find<QPlainTextEdit>("RxData");
    EXPECT_TRUE(runUntil([&] { return memo->toPlainText().contains(QStringLiteral("<STX>")); }, 2000));
    EXPECT_EQ(memo->toPlainText(), QStringLiteral("<02>s=?<03>\n<STX>s=t<ETX>"));
}

TEST_F(PanelAgainstSimulator, PingShowsReceivedAndGoesOutDuringTheNextSequence)
{
    start();
    click("btnConnect");
    click("btnPing");
    EXPECT_EQ(textOf("lblPing"), QStringLiteral("Requested"));
    ASSERT_TRUE(runUntil([&] { return textOf("lblPing") == QStringLiteral("Received"); }, 2000));
    EXPECT_TRUE(find<TAbLED>("ledPing")->Checked());
    runFor(600);
    EXPECT_TRUE(find<TAbLED>("ledPing")->Checked()) << "no sequence runs: the lamp stays lit";
    click("autobtn");
    EXPECT_TRUE(runUntil([&] { return !find<TAbLED>("ledPing")->Checked(); }, 2500));
    EXPECT_TRUE(textOf("lblPing").isEmpty());
}

TEST_F(PanelAgainstSimulator, ASilentTransponderIsBlankedByTheWatchdog)
{
    start();
    click("btnConnect");
    click("autobtn");
    ASSERT_TRUE(runUntil([&] { return !textOf("lblVersion").isEmpty(); }, 3000));

    // The same port, now with a transponder that answers nothing.
    click("btnConnect");
    simulator.reset();
    simulator = std::make_unique<SimulatorProcess>(1, QStringList{"--log", "--silent"});
    ASSERT_TRUE(simulator->ready());
    click("btnConnect");
    click("autobtn");
    // The first watchdog (6 s after Auto) clears its flag; the second, 6 s later, blanks.
    EXPECT_TRUE(runUntil([&] { return textOf("lblVersion").isEmpty(); }, 13000));
    for (const char* row : statusRows) EXPECT_TRUE(textOf(row).isEmpty()) << row;
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(PanelAgainstSimulator, ATransponderThatVanishesGivesOneReportAndThePanelGoesOn)
{
    start();
    click("btnConnect");
    click("autobtn");
    ASSERT_TRUE(runUntil([&] { return !textOf("lblCode").isEmpty(); }, 3000));
    simulator->kill(); // mid-sequence: the line hangs up
    runUntil([&] { return !boxes.shown.empty(); }, 2000);
    runFor(1500);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].caption, QStringLiteral("Error"));
    EXPECT_FALSE(form->SerialComm->Active());

    // Still responsive: commands answer, and Disconnect brings the panel back.
    click("btnSend");
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.shown[1].text, QStringLiteral("Comm Port not Initialised"));
    click("btnConnect");
    EXPECT_EQ(find<QPushButton>("btnConnect")->text(), QStringLiteral("Connect"));
    EXPECT_FALSE(find<QLabel>("lblCode")->text().isEmpty()) << "Disconnect clears nothing";
}
