#include "PanelFixture.h"

#include "app/PanelStatusBar.h"
#include "app/StatusSection.h"
#include "platform/PosixSerialDevice.h"
#include "tests/testkit/EventLoopWait.h"
#include "tests/testkit/LoopbackServer.h"

#include <QLabel>
#include <QTextDocument>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <poll.h>
#include <unistd.h>

namespace {

class LinkStatus : public PanelTest {
public:
    PanelStatusBar* bar() const { return form->findChild<PanelStatusBar*>(); }
    QString link() const { return bar()->link(); }
};

// What a reader sees of a text Qt may take for markup: a label takes it so
// unless told it is plain, a tooltip whenever it looks like markup.
QString seen(const QString& text, bool markup)
{
    if (!markup) return text;
    QTextDocument document;
    document.setHtml(text);
    return document.toPlainText();
}

// This machine's first IPv4 address beyond the loopback; empty when it has none.
std::string outwardAddress()
{
    ifaddrs* all = nullptr;
    if (::getifaddrs(&all) != 0) return {};
    std::string found;
    for (const ifaddrs* a = all; a && found.empty(); a = a->ifa_next) {
        if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET || (a->ifa_flags & IFF_LOOPBACK)) continue;
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(a->ifa_addr)->sin_addr, text, sizeof text);
        found = text;
    }
    ::freeifaddrs(all);
    return found;
}

// A server on this machine's outward address alone (never every address).
class OutwardServer {
public:
    explicit OutwardServer(const std::string& address)
    {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        ::inet_pton(AF_INET, address.c_str(), &at.sin_addr);
        socklen_t length = sizeof at;
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&at), length) != 0 || ::listen(listener_, 4) != 0
            || ::getsockname(listener_, reinterpret_cast<sockaddr*>(&at), &length) != 0)
            return;
        port_ = ntohs(at.sin_port);
    }
    ~OutwardServer()
    {
        if (connection_ >= 0) ::close(connection_);
        ::close(listener_);
    }
    std::uint16_t port() const { return port_; }
    bool accept()
    {
        if (connection_ >= 0) ::close(connection_);
        pollfd ready{listener_, POLLIN, 0};
        connection_ = ::poll(&ready, 1, 2000) == 1 ? ::accept(listener_, nullptr, nullptr) : -1;
        return connection_ >= 0;
    }

private:
    int listener_ = -1;
    int connection_ = -1;
    std::uint16_t port_ = 0;
};

} // namespace

TEST(PanelStatusBarText, WordsFromOutsideShowAsTheirCharactersInEverySection)
{
    const QString hostile[] = {
        QStringLiteral("<b>x</b>"),
        QStringLiteral("<img src=\"file:///etc/hostname\">"),
        QStringLiteral("server says <i>hi</i> &amp; bye"),
        QStringLiteral("<p>two</p>\n<p>lines</p>"),
        QStringLiteral("\x1b[31mred\x1b[0m"),
        QString::fromLatin1("caf\xe9 \x9b" "31m \xff"),
    };
    using Setter = void (PanelStatusBar::*)(const QString&, const QString&);
    const struct {
        const char* section;
        Setter set;
    } sections[] = {{"linkSection", &PanelStatusBar::setLink},
                    {"recordingSection", &PanelStatusBar::setRecording},
                    {"linkQualitySection", &PanelStatusBar::setLinkQuality}};
    for (const QString& text : hostile) {
        SCOPED_TRACE(text.toStdString());
        for (const auto& s : sections) {
            SCOPED_TRACE(s.section);
            PanelStatusBar bar;
            const auto* label = bar.findChild<QLabel*>(QLatin1String(s.section));
            ASSERT_TRUE(label);
            for (const QString& toolTip : {QString(), QStringLiteral("detail: ") + text}) {
                (bar.*s.set)(text, toolTip);
                const bool labelMarkup = label->textFormat() == Qt::RichText
                                         || (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(label->text()));
                EXPECT_EQ(seen(label->text(), labelMarkup), text);
                EXPECT_EQ(seen(label->toolTip(), Qt::mightBeRichText(label->toolTip())),
                          toolTip.isEmpty() ? text : toolTip);
            }
        }
    }
}

TEST_F(LinkStatus, SectionsStandInTheirOrderAndAreEmptyUntilFilled)
{
    form->show();
    bar()->setRecording(QStringLiteral("recording"));
    const QString usual = QStringLiteral("14/14 answered \u00b7 last reply 12 s ago");
    bar()->setLinkQuality(usual, QStringLiteral("in the last minute"));
    QCoreApplication::processEvents();
    const auto* linkSection = bar()->findChild<QLabel*>(QStringLiteral("linkSection"));
    const auto* recording = bar()->findChild<QLabel*>(QStringLiteral("recordingSection"));
    const auto* quality = bar()->findChild<QLabel*>(QStringLiteral("linkQualitySection"));
    ASSERT_TRUE(linkSection && recording && quality);
    EXPECT_LT(linkSection->x(), recording->x());
    EXPECT_LT(recording->x(), quality->x());
    EXPECT_GE(quality->width(), quality->fontMetrics().horizontalAdvance(usual)) << "the link quality is read whole";
    EXPECT_LE(quality->geometry().right(), bar()->width()) << "and within the window";
    EXPECT_TRUE(link().isEmpty()) << "empty until the first Connect";
    EXPECT_EQ(quality->toolTip(), QStringLiteral("in the last minute"));
    EXPECT_EQ(bar()->recording(), QStringLiteral("recording"));
}

TEST_F(LinkStatus, ShowsThePortWhatItLedToTheLineSettingsAndTheState)
{
    connectPort();
    EXPECT_EQ(link(), QStringLiteral("COM1 \u2192 %1 \u00b7 9600 8N1 \u00b7 connected").arg(QString::fromStdString(line.slavePath())));
    click("btnConnect");
    EXPECT_EQ(link(), QStringLiteral("COM1 \u2192 %1 \u00b7 9600 8N1 \u00b7 disconnected").arg(QString::fromStdString(line.slavePath())));
    EXPECT_TRUE(boxes.shown.empty());
}

// A network port in plain TCP to a host outside the loopback range reads
// "unencrypted", the fix in the tooltip; one in TLS, or one to this machine, does
// not. 0.0.0.0 stands for a host outside: the kernel takes it to this machine,
// but it is no loopback address.
TEST_F(LinkStatus, APlainNetworkLinkBeyondThisMachineReadsUnencryptedWithTheFixInItsTooltip)
{
    // Judged on the address connected to, not on how the entry spells it:
    // 0.0.0.0 reaches this machine through the loopback, while this
    // machine's own outward address leaves the loopback as another host's would.
    const std::string outward = outwardAddress();
    if (outward.empty()) GTEST_SKIP() << "no address beyond the loopback on this machine";
    LoopbackServer loopback;
    OutwardServer beyond(outward);
    ASSERT_GT(beyond.port(), 0);
    const struct {
        QString host;
        std::uint16_t port;
        bool fix;
    } cases[] = {
        {QStringLiteral("127.0.0.1"), loopback.port(), false},
        {QStringLiteral("0.0.0.0"), loopback.port(), false},
        {QString::fromStdString(outward), beyond.port(), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.host.toStdString());
        const QString hostPort = c.host + u':' + QString::number(c.port);
        ports.write(2, "tcp://" + hostPort.toStdString() + "\n");
        connectPort(QStringLiteral("2"));
        ASSERT_TRUE(c.port == loopback.port() ? loopback.accept() : beyond.accept());
        EXPECT_EQ(link().toStdString(), QStringLiteral("COM2 \u2192 tcp://%1%2 \u00b7 9600 8N1 \u00b7 connected")
                                            .arg(hostPort, c.fix ? QStringLiteral(" \u00b7 unencrypted") : QString())
                                            .toStdString());
        const QString fix = QStringLiteral("The link to %1 is not encrypted: whoever can reach %2 can read "
                                           "every reply and command the transponder as you do.\nServe the port in TLS "
                                           "with client authentication (ser2net's ssl(\u2026, clientauth) accepter), "
                                           "and make the entry tcp+tls://%2 with ca=, cert= and key= "
                                           "(Setup \u2192 Ports\u2026).").arg(c.host, hostPort);
        EXPECT_EQ(bar()->linkToolTip().toStdString(), (c.fix ? link() + u'\n' + fix : link()).toStdString());
        click("btnConnect");
        EXPECT_EQ(link().contains(QStringLiteral("unencrypted")), c.fix) << "still the port's, once disconnected";
    }
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(LinkStatus, ABusyPortKeepsItsOneBoxAndTheSectionNamesTheHolderUntilTheNextConnect)
{
    auto holder = std::make_unique<platform::PosixSerialDevice>();
    ASSERT_EQ(holder->open("COM1"), 0);
    connectPort();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, QStringLiteral("Device or resource busy"));
    const QString pid = QStringLiteral("pid %1").arg(::getpid());
    EXPECT_TRUE(link().contains(QStringLiteral("busy, held by app_tests (") + pid)) << link().toStdString();
    EXPECT_TRUE(bar()->linkToolTip().contains(QStringLiteral("Close that program"))) << bar()->linkToolTip().toStdString();

    click("btnConnect");
    holder.reset();
    connectPort();
    EXPECT_TRUE(link().endsWith(QStringLiteral("connected"))) << link().toStdString();
}

TEST_F(LinkStatus, AMissingDeviceKeepsItsOneBoxAndTheSectionSaysWhereThePortLed)
{
    const QString gone = QStringLiteral("/dev/serial/by-id/usb-Unplugged_Adapter-if00-port0");
    ASSERT_TRUE(QFile::link(gone, QString::fromStdString(ports.path()) + QStringLiteral("/COM2")));
    connectPort(QStringLiteral("2"));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, QStringLiteral("No such file or directory"));
    EXPECT_TRUE(link().startsWith(QStringLiteral("COM2 \u2192 ") + gone + QStringLiteral(": no such device")))
        << link().toStdString();
    EXPECT_TRUE(bar()->linkToolTip().contains(QStringLiteral("The port directory is ") + QString::fromStdString(ports.path())));
}

// The report of a lost line is a modal box; behind it the section already says
// the line is lost, and once it has been seen, that the panel waits.
TEST_F(LinkStatus, ALostLineReadsLostWhileItsReportIsOnScreen)
{
    class Watching : public fw::ScopedRecordingMessageBoxes {
    public:
        explicit Watching(LinkStatus& test) : test_(test) {}
        fw::MsgResult show(const QString& text, const QString& caption, fw::MsgButtons buttons, fw::MsgIcon icon) override
        {
            linkBehindTheBox = test_.link();
            return ScopedRecordingMessageBoxes::show(text, caption, buttons, icon);
        }
        QString linkBehindTheBox;

    private:
        LinkStatus& test_;
    } watching(*this);
    connectPort();
    ASSERT_TRUE(link().endsWith(QStringLiteral("connected")));
    line.closeMaster();
    ASSERT_TRUE(runUntil([&] { return !watching.shown.empty(); }, 2000));
    EXPECT_TRUE(watching.linkBehindTheBox.endsWith(QStringLiteral("\u00b7 lost"))) << watching.linkBehindTheBox.toStdString();
    EXPECT_TRUE(link().endsWith(QStringLiteral("lost, waiting for the adapter"))) << link().toStdString();
}

TEST(PanelStatusBarText, ATextThatDoesNotFitIsCutWithAnEllipsisAndTheTooltipLeadsWithTheWhole)
{
    const QString file = QStringLiteral("Recording séssion 1.jsonl"), why = QStringLiteral("why");
    const std::tuple<QString, int, QString> rows[] = { // caller's tooltip, width → tooltip shown
        {{}, 400, file}, {{}, 80, file}, {why, 400, why}, {why, 80, file + QLatin1Char('\n') + why}, {file + why, 80, file + why}};
    for (const auto& [toolTip, width, shownToolTip] : rows) {
        StatusSection section;
        section.resize(width, 19);
        section.setTextAndToolTip(file, toolTip);
        const QString shown = section.shownText();
        EXPECT_TRUE(shown == file || (shown.size() > 3 && file.startsWith(shown.chopped(1)) && shown.endsWith(QChar(0x2026))));
        EXPECT_EQ(shown == file, width > 100);
        EXPECT_EQ(section.shownToolTip(), shownToolTip);
    }
}

// The window at its fixed size with the longest alarm showing: the link's state
// word stays whole, the details beside it are cut with "…", every section stays
// within the window, and the tooltip leads with the whole text.
TEST_F(LinkStatus, TheStateWordIsNeverCutBesideAnAlarmWithinTheWindow)
{
    form->show();
    const QString device = QStringLiteral("COM12 \u2192 tcp+tls://transponder-bench-07.example.net:3001 \u00b7 9600 8N1");
    const QString states[] = {QStringLiteral("connected"), QStringLiteral("disconnected"),
                              QStringLiteral("lost, next try 12:00:08 \u00b7 Port already in use"),
                              QStringLiteral("lost, waiting for the adapter, next try 12:00:08")};
    bar()->setAlarm(QStringLiteral("Supply voltage 30.1 V out of limits 26.0 .. 29.5 V (returned to normal)"));
    bar()->setRecording(QStringLiteral("recording 2026-12-08 14-10-00.jsonl"));
    for (const QString& state : states) {
        SCOPED_TRACE(state.toStdString());
        bar()->setLink(device + QStringLiteral(" \u00b7 ") + state);
        QCoreApplication::processEvents();
        const auto* section = bar()->findChild<StatusSection*>(QStringLiteral("linkSection"));
        const QString word = state.section(u',', 0, 0);
        const QString shown = section->shownText();
        EXPECT_TRUE(shown.contains(QStringLiteral(" \u00b7 ") + word)) << shown.toStdString();
        EXPECT_TRUE(shown.contains(QChar(0x2026))) << "the details are cut: " << shown.toStdString();
        EXPECT_LE(section->fontMetrics().horizontalAdvance(shown), section->contentsRect().width());
        EXPECT_TRUE(section->shownToolTip().startsWith(device + QStringLiteral(" \u00b7 ") + state));
        for (const QLabel* each : bar()->findChildren<QLabel*>())
            EXPECT_LE(each->geometry().right(), bar()->width()) << each->objectName().toStdString();
    }
    EXPECT_EQ(form->width(), 734);
}
