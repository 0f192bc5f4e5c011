#include "Ser2netFixture.h"

#include "framework/RadioGroup.h"
#include "platform/ArbitraryBaud.h"
#include "transponder/MessageSet.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>

#include <fcntl.h>
#include <set>
#include <termios.h>
#include <unistd.h>

namespace {

const char* const statusRows[] = {"funcDisplay", "lblCode", "ReplyIndi", "lblIdent", "lblAltitude",
                                  "lblVoltage",  "lblVoltOffset", "lblVersion", "lblPing"};

QStringList sequenceQueries()
{
    QStringList queries;
    for (const char letter : transponder::MessageSet::SequenceLetters) queries << QString(QLatin1Char(letter)) + QStringLiteral("=?");
    return queries;
}

// The line of the pseudo-terminal as whoever set it last left it: "9600 8N1".
std::string lineOf(const QString& device)
{
    const int fd = ::open(device.toLocal8Bit().constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios line {};
    if (fd < 0 || ::tcgetattr(fd, &line) != 0) return "unreadable";
    const long rate = platform::detail::outputRate(fd);
    ::close(fd);
    const char size = (line.c_cflag & CSIZE) == CS8 ? '8' : (line.c_cflag & CSIZE) == CS7 ? '7' : '?';
    const char parity = !(line.c_cflag & PARENB) ? 'N' : (line.c_cflag & PARODD) ? 'O' : 'E';
    return std::to_string(rate) + " " + size + parity + ((line.c_cflag & CSTOPB) ? '2' : '1');
}

} // namespace

TEST_P(PanelThroughSer2net, AnAutomaticSequenceFillsTheDisplay)
{
    start();
    click("btnConnect");
    ASSERT_TRUE(form->SerialComm->Active()) << "boxes: " << boxes.shown.size();
    click("autobtn");
    ASSERT_TRUE(runUntil([&] { return !textOf("lblCode").isEmpty(); }, 3000));
    click("BitBtn3");
    click("btnPing");
    std::set<QString> filled;
    QStringList frames;
    ASSERT_TRUE(runUntil(
        [&] {
            for (const char* row : statusRows)
                if (!textOf(row).isEmpty()) filled.insert(QString::fromLatin1(row));
            frames += simulator->framesIn();
            return filled.size() == std::size(statusRows) && frames.count(QStringLiteral("e=?")) >= 2;
        },
        6000))
        << "only " << filled.size() << " rows filled";
    EXPECT_EQ(textOf("funcDisplay"), QStringLiteral("Standby"));
    EXPECT_EQ(textOf("lblCode"), QStringLiteral("1200"));
    EXPECT_EQ(textOf("lblVersion"), QStringLiteral("2.14"));
    // A whole sequence, in order, after the first one.
    frames.removeAll(QStringLiteral("i=s"));
    frames.removeAll(QStringLiteral("p=y"));
    const qsizetype second = frames.indexOf(QStringLiteral("e=?")) + 1;
    EXPECT_EQ(frames.mid(second, 14), sequenceQueries());
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_P(PanelThroughSer2net, EverySetReachesTheTransponder)
{
    start();
    click("btnConnect");
    simulator->framesIn();
    find<TRadioGroup>("rbStatus")->setItemIndex(2);
    click("statusBtn");
    find<QLineEdit>("Edit1")->setText(QStringLiteral("7700"));
    click("BitBtn2");
    click("BitBtn3");
    find<TRadioGroup>("rbInterrogate")->setItemIndex(1);
    click("InterrogateBtn");
    find<TRadioGroup>("rbVoltage")->setItemIndex(1);
    click("voltsetBtn");
    find<QLineEdit>("edVoltOffset")->setText(QStringLiteral("2.5"));
    click("btnVoltOffset");
    click("btnPing");
    find<TRadioGroup>("rbEncSource")->setItemIndex(1);
    click("BitBtn7");
    const QStringList sent = {QStringLiteral("s=c"), QStringLiteral("c=7700"), QStringLiteral("i=s"),
                              QStringLiteral("r=n"), QStringLiteral("v=2"),    QStringLiteral("f=2.5"),
                              QStringLiteral("p=y"), QStringLiteral("d=s")};
    QStringList received;
    EXPECT_TRUE(runUntil(
        [&] {
            received += simulator->framesIn();
            return received.size() >= sent.size();
        },
        3000));
    EXPECT_EQ(received, sent);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_P(PanelThroughSer2net, AManualCommandEchoesWithItsReply)
{
    start({QStringLiteral("--rate"), QStringLiteral("0")}); // no interrogation reports in between
    click("btnConnect");
    auto* line = find<QLineEdit>("CommStr");
    line->setText(QStringLiteral("s=?"));
    QTest::keyClick(line, Qt::Key_Return);
    auto* memo = find<QPlainTextEdit>("RxData");
    EXPECT_TRUE(runUntil([&] { return memo->toPlainText().contains(QStringLiteral("<STX>")); }, 3000));
    EXPECT_EQ(memo->toPlainText(), QStringLiteral("<02>s=?<03>\n<STX>s=t<ETX>"));
}

// ser2net sets the line its configuration names when a client connects. Only
// through RFC 2217 does the panel's 9600 bit/s replace it; raw TCP leaves it.
TEST_P(PanelThroughSer2net, TheLineRateTravelsOnlyThroughRfc2217)
{
    start({QStringLiteral("--rate"), QStringLiteral("0")}, 115200);
    click("btnConnect");
    ASSERT_TRUE(form->SerialComm->Active());
    // A reply shows that ser2net has the line open and set up. Only then is the
    // line looked at, once: the simulator counts who has its device open, and
    // opens that follow each other too closely count as one.
    auto* line = find<QLineEdit>("CommStr");
    line->setText(QStringLiteral("s=?"));
    QTest::keyClick(line, Qt::Key_Return);
    ASSERT_TRUE(runUntil([&] { return find<QPlainTextEdit>("RxData")->toPlainText().contains(QStringLiteral("<STX>")); }, 3000));
    EXPECT_EQ(lineOf(device), GetParam() == Ser2netProcess::Accepter::Rfc2217 ? "9600 8N1" : "115200 8N1");
    EXPECT_TRUE(boxes.shown.empty());
}

// The command-line tool opens ports by number as the panel does, so a network
// entry serves it too.
TEST_P(PanelThroughSer2net, XpdrctlReadsTheStatusThroughTheSameEntry)
{
    start();
    QProcess xpdrctl;
    xpdrctl.start(QStringLiteral(XPDRCTL_PATH), {QStringLiteral("--port"), QStringLiteral("COM1"), QStringLiteral("status"), QStringLiteral("--json")});
    ASSERT_TRUE(xpdrctl.waitForFinished(10000));
    EXPECT_EQ(xpdrctl.exitCode(), 0) << xpdrctl.readAllStandardError().toStdString();
    const QJsonObject status = QJsonDocument::fromJson(xpdrctl.readAllStandardOutput()).object();
    EXPECT_EQ(status.value(QStringLiteral("code")).toString(), QStringLiteral("1200"));
    EXPECT_EQ(status.value(QStringLiteral("mode")).toString(), QStringLiteral("Standby"));
    EXPECT_EQ(status.value(QStringLiteral("answered")).toInt(), 14);
}

// A port nobody listens on: "Connection refused", the status bar says where,
// and a server that starts then is found by the retries.
TEST_P(PanelThroughSer2net, APortNobodyListensOnIsRefusedAndFoundOnceItListens)
{
    start();
    ser2net->stop();
    click("btnConnect");
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, QStringLiteral("Connection refused"));
    EXPECT_EQ(boxes.shown[0].caption, QStringLiteral("Error"));
    EXPECT_FALSE(form->SerialComm->Active());
    const QString address = ser2net->entry().mid(ser2net->entry().indexOf(QStringLiteral("://")) + 3);
    EXPECT_TRUE(link().startsWith(QStringLiteral("COM1 \u2192 %1: nothing listens at %2, next try ").arg(ser2net->entry(), address)))
        << link().toStdString();

    ASSERT_TRUE(ser2net->start());
    EXPECT_TRUE(runUntil([&] { return form->SerialComm->Active(); }, 4000));
    EXPECT_EQ(boxes.shown.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Accepters, PanelThroughSer2net,
                         ::testing::Values(Ser2netProcess::Accepter::RawTcp, Ser2netProcess::Accepter::Rfc2217),
                         accepterName);
