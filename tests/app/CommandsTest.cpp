#include "PanelFixture.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QGroupBox>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolButton>

#include <sys/file.h>

namespace {

const char* const commandButtons[] = {"statusBtn", "BitBtn2", "BitBtn3", "voltsetBtn", "autobtn",
                                      "btnSend", "BitBtn7", "btnPing", "InterrogateBtn", "btnVoltOffset"};

} // namespace

using StartUp = PanelTest;
using Connection = PanelTest;
using Commands = PanelTest;

TEST_F(StartUp, OpensDisconnectedWithEveryCommandDisabledAndNothingRunning)
{
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Korvane UAV Control"));
    EXPECT_EQ(find<QPushButton>("btnConnect")->text(), QStringLiteral("Connect"));
    EXPECT_EQ(find<QPushButton>("btnConnect")->property("Tag").toInt(), 0);
    for (const char* name : commandButtons) EXPECT_FALSE(find(name)->isEnabled()) << name;
    EXPECT_TRUE(find("Button1")->isEnabled());
    EXPECT_TRUE(find("CommStr")->isEnabled());
    EXPECT_FALSE(find("RxData")->isEnabled());
    EXPECT_FALSE(form->SerialComm->Active());
    for (fw::TTimer* timer : {form->autoSequencer, form->queryTimer, form->wdt, form->rxTimer, form->altTimer})
        EXPECT_FALSE(timer->Enabled());
    EXPECT_EQ(form->altTimer->Interval(), 3500u);
    EXPECT_EQ(textOf("lblAltActual"), QStringLiteral("100"));
    EXPECT_EQ(clock.nextDueIn(), -1) << "a timer runs at start";
    for (const char* lampName : {"Intled", "Ident", "ledPing", "autoIndi", "indiAlt"})
        EXPECT_FALSE(lamp(lampName)->Checked()) << lampName;
    for (const char* label : {"funcDisplay", "lblCode", "ReplyIndi", "lblIdent", "lblAltitude", "lblVoltage",
                              "lblVoltOffset", "lblVersion", "lblPing"})
        EXPECT_TRUE(textOf(label).isEmpty()) << label;
    EXPECT_FALSE(find<QGroupBox>("GroupBox9")->isVisibleTo(form.get()));
    EXPECT_FALSE(find<QGroupBox>("gbSequence")->isVisibleTo(form.get()));
    EXPECT_TRUE(form->statusBar()->currentMessage().isEmpty());
    EXPECT_EQ(form->SerialComm->DataBits(), d8bit);
    EXPECT_EQ(form->SerialComm->RxEventMode(), rxMessage);
}

TEST_F(StartUp, TooltipOnlyOnAutoAndAccessibleNamesFromCaptions)
{
    EXPECT_TRUE(find("btnConnect")->toolTip().isEmpty());
    EXPECT_EQ(find("autobtn")->toolTip(), QStringLiteral("Retrieve Transponder Settings"));
    const std::pair<const char*, const char*> inputs[] = {
        {"edCommPort", "Comm Port"}, {"Edit1", "Assigned Code"}, {"edVoltOffset", "Offset Voltage"},
        {"seqEdit", "Seconds"},      {"CommStr", "Manual Command"}, {"edMaxAlt", "Max"}, {"edMinAlt", "Min"}};
    for (const auto& [name, caption] : inputs)
        EXPECT_EQ(find(name)->accessibleName(), QString::fromLatin1(caption)) << name;
    EXPECT_EQ(find("lblPing")->accessibleDescription(), QStringLiteral("Ping Operation"));
    EXPECT_EQ(find("funcDisplay")->accessibleDescription(), QStringLiteral("Operational Status"));
}

TEST_F(StartUp, LampsAreAccessibleByCaptionOrRowWithTheirCheckedState)
{
    const std::pair<const char*, const char*> lamps[] = {{"Intled", "Interrogation Status"},
                                                          {"Ident", "SPI"},
                                                          {"ledPing", "Ping"},
                                                          {"autoIndi", "Auto Sequence"}};
    for (const auto& [name, accessibleName] : lamps) {
        QAccessibleInterface* lampInterface = QAccessible::queryAccessibleInterface(lamp(name));
        ASSERT_NE(lampInterface, nullptr) << name;
        EXPECT_EQ(lampInterface->text(QAccessible::Name), QString::fromLatin1(accessibleName));
        EXPECT_TRUE(lampInterface->state().checkable);
        EXPECT_FALSE(lampInterface->state().checked);
    }
    lamp("Ident")->setChecked(true);
    EXPECT_TRUE(QAccessible::queryAccessibleInterface(lamp("Ident"))->state().checked);
}

TEST_F(StartUp, MenuHoldsExitAndAutoSequence)
{
    EXPECT_EQ(find<QAction>("Exit1")->text(), QStringLiteral("E&xit"));
    find<QAction>("mnuAutoSequence")->trigger();
    EXPECT_TRUE(find<QGroupBox>("gbSequence")->isVisibleTo(form.get()));
    click("Button1");
    EXPECT_FALSE(find<QGroupBox>("gbSequence")->isVisibleTo(form.get()));
}

TEST_F(Connection, ConnectOpensThePortAndEnablesCommandsDisconnectReverses)
{
    connectPort();
    EXPECT_TRUE(form->SerialComm->Active());
    EXPECT_EQ(form->SerialComm->Port(), 1);
    EXPECT_EQ(find<QPushButton>("btnConnect")->text(), QStringLiteral("Disconnect"));
    EXPECT_EQ(find<QPushButton>("btnConnect")->property("Tag").toInt(), 1);
    for (const char* name : commandButtons) EXPECT_TRUE(find(name)->isEnabled()) << name;
    EXPECT_TRUE(find("RxData")->isEnabled());
    EXPECT_TRUE(boxes.shown.empty());

    click("autobtn");
    EXPECT_TRUE(lamp("autoIndi")->Checked());
    click("btnConnect");
    EXPECT_FALSE(form->SerialComm->Active());
    EXPECT_FALSE(lamp("autoIndi")->Checked());
    EXPECT_FALSE(form->autoSequencer->Enabled());
    EXPECT_EQ(find<QPushButton>("btnConnect")->text(), QStringLiteral("Connect"));
    for (const char* name : commandButtons) EXPECT_FALSE(find(name)->isEnabled()) << name;
    EXPECT_TRUE(find("RxData")->isEnabled()) << "the memo stays enabled after the first Connect";
    EXPECT_TRUE(find("CommStr")->isEnabled());
}

TEST_F(Connection, PortTextRules)
{
    struct Case {
        const char* text;
        bool connects;
        const char* error;
    };
    const Case cases[] = {
        {"1 ", false, "'1 ' is not a valid integer value"},
        {"COM1", false, "'COM1' is not a valid integer value"},
        {"99999999999", false, "'99999999999' is not a valid integer value"},
        {"   ", false, nullptr},
        {"", false, nullptr},
        {" 1", true, nullptr},
        {"257", true, nullptr}, // the low eight bits select port 1
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        boxes.shown.clear();
        connectPort(QString::fromLatin1(c.text));
        EXPECT_EQ(find<QPushButton>("btnConnect")->property("Tag").toInt(), c.connects ? 1 : 0);
        EXPECT_EQ(form->SerialComm->Active(), c.connects);
        if (c.error) {
            ASSERT_EQ(boxes.shown.size(), 1u);
            EXPECT_EQ(boxes.shown[0].text, QString::fromLatin1(c.error));
        } else {
            EXPECT_TRUE(boxes.shown.empty());
        }
        if (c.connects) {
            EXPECT_EQ(form->SerialComm->Port(), 1);
            click("btnConnect");
        }
    }
}

TEST_F(Connection, APortThatCannotBeOpenedStillEntersTheConnectedState)
{
    connectPort(QStringLiteral("10")); // names no device
    EXPECT_FALSE(form->SerialComm->Active());
    EXPECT_EQ(find<QPushButton>("btnConnect")->text(), QStringLiteral("Disconnect"));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].caption, QStringLiteral("Error"));
    for (const char* name : commandButtons) EXPECT_TRUE(find(name)->isEnabled()) << name;

    // Buttons that test the port first do nothing; Send says so.
    boxes.shown.clear();
    find<QLineEdit>("Edit1")->setText(QStringLiteral("7700"));
    for (const char* name : {"BitBtn2", "InterrogateBtn", "voltsetBtn", "BitBtn7"}) click(name);
    EXPECT_TRUE(boxes.shown.empty());
    click("btnSend");
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, QStringLiteral("Comm Port not Initialised"));

    // The others hand their frame to the closed port, which reports the write at once.
    boxes.shown.clear();
    click("BitBtn3");
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].caption, QStringLiteral("Error"));

    click("btnConnect");
    EXPECT_EQ(find<QPushButton>("btnConnect")->text(), QStringLiteral("Connect"));
}

TEST_F(Connection, APortInUseElsewhereIsReportedBusy)
{
    ASSERT_EQ(flock(slaveKeeper, LOCK_EX | LOCK_NB), 0); // another program holds COM1
    connectPort();
    EXPECT_FALSE(form->SerialComm->Active());
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, QStringLiteral("Device or resource busy"));
    flock(slaveKeeper, LOCK_UN);
}

TEST_F(Commands, EachButtonSendsItsFrame)
{
    connectPort();
    wire();
    auto choose = [&](const char* group, int index) { find<TRadioGroup>(group)->setItemIndex(index); };

    // No radio item chosen: nothing goes out.
    for (const char* name : {"statusBtn", "InterrogateBtn", "voltsetBtn"}) click(name);
    EXPECT_EQ(wire(), "");

    struct Case {
        std::function<void()> prepare;
        const char* button;
        std::string frame;
    };
    const Case cases[] = {
        {[&] { choose("rbStatus", 0); }, "statusBtn", framed("s=t")},
        {[&] { choose("rbStatus", 1); }, "statusBtn", framed("s=a")},
        {[&] { choose("rbStatus", 2); }, "statusBtn", framed("s=c")},
        {[&] { find<QLineEdit>("Edit1")->setText(QStringLiteral("7700")); }, "BitBtn2", framed("c=7700")},
        {[&] { find<QLineEdit>("Edit1")->setText(QString()); }, "BitBtn2", framed("c=")},
        {[&] { choose("rbInterrogate", 0); }, "InterrogateBtn", framed("r=y")},
        {[&] { choose("rbInterrogate", 1); }, "InterrogateBtn", framed("r=n")},
        {[] {}, "BitBtn3", framed("i=s")},
        {[&] { choose("rbVoltage", 0); }, "voltsetBtn", framed("v=1")},
        {[&] { choose("rbVoltage", 1); }, "voltsetBtn", framed("v=2")},
        {[] {}, "btnVoltOffset", framed("f=1.2")},
        {[&] { find<QLineEdit>("edVoltOffset")->setText(QStringLiteral("0")); }, "btnVoltOffset", framed("f=0")},
        {[&] { find<QLineEdit>("edVoltOffset")->setText(QStringLiteral(" 3.50")); }, "btnVoltOffset",
         framed("f= 3.50")},
        {[] {}, "btnPing", framed("p=y")},
        {[&] { choose("rbEncSource", 0); }, "BitBtn7", framed("d=g")},
        {[&] { choose("rbEncSource", 1); }, "BitBtn7", framed("d=s")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.button + (" " + c.frame));
        c.prepare();
        click(c.button);
        EXPECT_EQ(wire(), c.frame);
    }
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(textOf("lblPing"), QStringLiteral("Requested"));
}

TEST_F(Commands, TextSentAsTypedTakesOnlyCharactersTheLineCanCarry)
{
    for (const char* name : {"Edit1", "edVoltOffset", "CommStr"}) {
        auto* edit = find<QLineEdit>(name);
        edit->clear();
        for (QChar c : QString::fromUtf8("7\u03A97\u00E9")) {
            QKeyEvent typed(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
            QApplication::sendEvent(edit, &typed);
        }
        EXPECT_EQ(edit->text(), QString::fromUtf8("77\u00E9")) << name;
    }
}

TEST_F(Commands, BadOffsetsSendNothing)
{
    connectPort();
    wire();
    struct Case {
        const char* text;
        const char* message;
        const char* caption;
    };
    const Case cases[] = {
        {"-0.5", "ERROR: Only Positive Values Permitted", "ERROR"},
        {"1,5", "'1,5' is not a valid floating point value", "uavControl"},
        {"volts", "'volts' is not a valid floating point value", "uavControl"},
        {"", "'' is not a valid floating point value", "uavControl"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        boxes.shown.clear();
        find<QLineEdit>("edVoltOffset")->setText(QString::fromLatin1(c.text));
        click("btnVoltOffset");
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_EQ(boxes.shown[0].text, QString::fromLatin1(c.message));
        EXPECT_EQ(boxes.shown[0].caption, QString::fromLatin1(c.caption));
        EXPECT_EQ(wire(), "");
    }
}

TEST_F(Commands, ManualCommandIsFramedLoggedAndArmsTheEcho)
{
    // Enter before Connect: the box, and the text stays.
    auto* line = find<QLineEdit>("CommStr");
    line->setText(QStringLiteral("s=?"));
    QTest::keyClick(line, Qt::Key_Return);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, QStringLiteral("Comm Port not Initialised"));
    EXPECT_EQ(boxes.shown[0].caption, QStringLiteral("Information"));
    EXPECT_EQ(boxes.shown[0].buttons, fw::MsgButtons::OkCancel);
    EXPECT_EQ(line->text(), QStringLiteral("s=?"));

    connectPort();
    wire();
    QTest::keyClick(line, Qt::Key_Return);
    EXPECT_EQ(wire(), framed("s=?"));
    EXPECT_TRUE(line->text().isEmpty());
    click("btnSend"); // an empty line goes out as STX ETX
    EXPECT_EQ(wire(), std::string("\x02\x03"));

    reply("s=a");
    reply("v=27.9"); // only the first message after a Send is echoed
    EXPECT_EQ(find<QPlainTextEdit>("RxData")->toPlainText(),
              QStringLiteral("<02>s=?<03>\n<02><03>\n<STX>s=a<ETX>"));
}

TEST_F(Commands, TabReadsThePanelInLayoutOrderF10OpensTheMenusAndNoShrinkingHidesAControl)
{
    connectPort();
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    find<QLineEdit>("edVoltOffset")->setFocus();
    QStringList reached; // a radio group is one stop; the arrows choose within it
    for (int i = 0; i < 18; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        const QWidget* w = QApplication::focusWidget();
        reached << (w->inherits("QRadioButton") ? w->parentWidget() : w)->objectName();
    }
    EXPECT_EQ(reached.join(QLatin1Char(' ')).toStdString(),
              "btnVoltOffset btnPing RxData CommStr btnSend edCommPort btnConnect autobtn rbStatus statusBtn Edit1 "
              "BitBtn2 rbInterrogate InterrogateBtn BitBtn3 rbVoltage voltsetBtn edVoltOffset");
    EXPECT_FALSE(find<QPlainTextEdit>("RxData")->isReadOnly()) << "the memo Tab leaves stays editable";
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F10);
    EXPECT_TRUE(QTest::qWaitFor([] { return QApplication::activePopupWidget() != nullptr; }));
    form->resize(300, 200);
    EXPECT_EQ(form->size(), QSize(734, 534 + form->menuBar()->height())) << "no smaller than designed";
}
