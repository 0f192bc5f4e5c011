#include "PanelFixture.h"

#include "framework/Colors.h"

#include <QToolButton>
#include <functional>
#include <string_view>

using Decoder = PanelTest;
using Sequence = PanelTest;
using Altitude = PanelTest;

namespace {

const std::string sequenceOrder = "acfirsvounldze";

} // namespace

TEST_F(Decoder, EachLetterUpdatesItsPartOfTheDisplay)
{
    connectPort();
    struct Case {
        std::string raw;
        const char* label;
        const char* shown;
    };
    const Case cases[] = {
        {framed("s=a"), "funcDisplay", "Mode A"},
        {framed("s=c"), "funcDisplay", "Mode C"},
        {framed("s=l"), "funcDisplay", "Mode C/Alt"},
        {framed("s=t"), "funcDisplay", "Standby"},
        {framed("s=f"), "funcDisplay", "Off"},
        {framed("s=x"), "funcDisplay", "Off"},             // unknown value: unchanged
        {framed("c=1200"), "lblCode", "1200"},
        {framed("c=77001"), "lblCode", "7700"},              // first four characters
        {framed("c=123"), "lblCode", "7700"},                // too short: kept
        {framed("r=Y"), "ReplyIndi", "Enabled"},
        {framed("r=N"), "ReplyIndi", "Disabled"},
        {framed("r=y"), "ReplyIndi", "Disabled"},            // lower case is not recognised
        {framed("i=1"), "lblIdent", "Active"},
        {framed("i=0"), "lblIdent", ""},
        {framed("i=?"), "lblIdent", "Active"},
        {framed("i=0"), "lblIdent", ""},
        {framed("i="), "lblIdent", "Active"},                // the first value byte is then ETX
        {std::string("\x02i\x03"), "lblIdent", "Active"},    // too short: no value byte at all
        {framed("a=12500"), "lblAltitude", "12500"},
        {framed("v= 27.9 "), "lblVoltage", "27.9"},
        {framed("f= 1.2 "), "lblVoltOffset", "1.2 V"},
        {framed("z= 2.14"), "lblVersion", " 2.14"},          // untrimmed
        {framed("p=Yes"), "lblPing", "Received"},
        {framed("e=5"), "lblVersion", " 2.14"},              // not shown
        {std::string("junk\x02" "f=3.3\x03"), "lblVoltOffset", "3.3 V"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.raw);
        // The serial side delivers from the start character on; junk before it is dropped there.
        sendRaw(c.raw, 1);
        idle();
        EXPECT_EQ(textOf(c.label), QString::fromLatin1(c.shown));
    }
    EXPECT_TRUE(lamp("ledPing")->Checked());
    EXPECT_TRUE(lamp("Ident")->Checked());
}

TEST_F(Decoder, OperationalFunctionAndEncoderSourceFollowReplies)
{
    connectPort();
    auto* status = find<TRadioGroup>("rbStatus");
    reply("s=a");
    idle();
    EXPECT_EQ(status->ItemIndex(), 1);
    reply("s=f"); // "Off" leaves the choice alone
    idle();
    EXPECT_EQ(status->ItemIndex(), 1);
    reply("s=l");
    idle();
    EXPECT_EQ(status->ItemIndex(), 2);

    // "d" shows or hides the eight simulation controls as an operator's click would.
    const char* const controls[] = {"edMaxAlt",          "edMinAlt",     "Label13",     "Label14",
                                    "lblAltActual",      "lblAltitudeSource", "altitudeBtn", "indiAlt"};
    reply("d=s");
    idle();
    for (const char* name : controls) EXPECT_FALSE(find(name)->isHidden()) << name;
    reply("a=900");
    idle();
    EXPECT_EQ(textOf("lblAltitudeSource"), QStringLiteral("900"));
    reply("d=g");
    idle();
    for (const char* name : controls) EXPECT_TRUE(find(name)->isHidden()) << name;
    reply("a=950");
    idle();
    EXPECT_EQ(textOf("lblAltitudeSource"), QStringLiteral("900")) << "hidden: not updated";
    EXPECT_FALSE(find("GroupBox9")->isVisibleTo(form.get()));
}

TEST_F(Decoder, TheOperatorsFunctionChoiceHoldsAgainstRepliesUntilSetDisconnectOrTenQuietSeconds)
{
    connectPort();
    auto* status = find<TRadioGroup>("rbStatus");
    auto choose = [&](int item) { QTest::mouseClick(status->button(item), Qt::LeftButton); };
    auto report = [&](const std::string& function) {
        reply(function);
        idle();
    };
    const std::pair<const char*, std::function<void()>> cases[] = {
        {"held, during the hold", [] {}},
        {"held, 9.9 s after a second change", [&] { clock.advance(5000); choose(2); choose(1); clock.advance(9900); }},
        {"after Set, which sends the choice", [&] { click("statusBtn"); EXPECT_EQ(wire(), framed("s=a")); }},
        // A reply that moves the radio is no change of the operator's: it starts no hold.
        {"after 10 s without a change", [&] { clock.advance(10000); report("s=c"); }},
        {"after Disconnect", [&] { click("btnConnect"); click("btnConnect"); }},
    };
    for (const auto& [name, meanwhile] : cases) {
        clock.advance(10000);
        report("s=t");
        choose(1); // Mode A
        meanwhile();
        report("s=t"); // Standby
        EXPECT_EQ(status->ItemIndex(), std::string_view(name).starts_with("held") ? 1 : 0) << name;
        EXPECT_EQ(textOf("funcDisplay"), QStringLiteral("Standby")) << name;
    }
}

TEST_F(Decoder, TwoMessagesInOneBurstAreBothDecoded)
{
    connectPort();
    reply(std::vector<std::string>{"c=4321", "*=", "v=27.9"});
    idle();
    EXPECT_EQ(textOf("lblCode"), QStringLiteral("4321"));
    EXPECT_TRUE(lamp("Intled")->Checked());
    EXPECT_EQ(textOf("lblVoltage"), QStringLiteral("27.9"));
    EXPECT_EQ(form->PendingMessageCount(), 0u);
}

TEST_F(Decoder, InterrogationLampGoesDark500msAfterTheReportThatLitIt)
{
    connectPort();
    reply("*=");
    idle();
    EXPECT_TRUE(lamp("Intled")->Checked());
    clock.advance(300);
    reply("*="); // does not lengthen it
    idle();
    clock.advance(199);
    EXPECT_TRUE(lamp("Intled")->Checked());
    clock.advance(1);
    EXPECT_FALSE(lamp("Intled")->Checked());
}

namespace {

// Plays a transponder that answers each query of the sequence at once.
struct Responder {
    PanelTest& t;
    std::string queriesSeen;

    // One query tick: the timer fires, the idle call sends, the test answers.
    void step(bool answer = true)
    {
        t.clock.advance(60);
        t.idle();
        const std::string sent = wireOf();
        ASSERT_EQ(sent.size(), 5u) << "expected one query, got [" << sent << "]";
        queriesSeen += sent[1];
        if (answer) answerTo(sent[1]);
    }
    void answerTo(char letter)
    {
        t.reply(std::string(1, letter) + "=" + (letter == 'c' ? "1200" : "1"));
        t.idle();
    }
    std::string wireOf() { return t.wire(15); }
};

} // namespace

TEST_F(Sequence, AResponsiveTransponderIsPolledInOrderAndThePollRepeats)
{
    connectPort();
    wire();
    find<QLineEdit>("seqEdit")->setText(QStringLiteral("2"));
    TAbLED* autoLamp = lamp("autoIndi");
    EXPECT_EQ(autoLamp->LED().ColorOn(), clLime);
    click("autobtn");
    EXPECT_TRUE(autoLamp->Checked());

    clock.advance(1000);
    EXPECT_EQ(wire(), "") << "the countdown reads the seconds field at Auto";
    clock.advance(1000);
    EXPECT_EQ(autoLamp->LED().ColorOn(), clRed);

    Responder transponder{*this, {}};
    for (int i = 0; i < 14; ++i) transponder.step();
    EXPECT_EQ(transponder.queriesSeen, sequenceOrder);
    EXPECT_EQ(autoLamp->LED().ColorOn(), clGreen);
    EXPECT_EQ(textOf("lblCode"), QStringLiteral("1200"));

    // The next sequence follows the seconds field again.
    clock.advance(1940);
    idle();
    EXPECT_EQ(wire(), "");
    clock.advance(60);
    EXPECT_EQ(autoLamp->LED().ColorOn(), clRed);
    transponder.queriesSeen.clear();
    transponder.step();
    EXPECT_EQ(transponder.queriesSeen, "a");
}

TEST_F(Sequence, ASilentLineIsBlankedByTheWatchdogAndPolledAboutEverySixSeconds)
{
    connectPort();
    reply("s=a");
    idle();
    EXPECT_EQ(textOf("funcDisplay"), QStringLiteral("Mode A"));
    wire();
    click("autobtn");
    std::string sent;
    for (int ms = 0; ms < 24000; ms += 20) {
        clock.advance(20);
        idle();
        sent += wire(0);
    }
    sent += wire();
    // Starts at 1 s, 7 s, 13 s and 19 s; each stalls at its first query.
    EXPECT_EQ(sent, framed("a=?") + framed("a=?") + framed("a=?") + framed("a=?"));
    // The first watchdog finds the earlier reply and only clears the flag; the second blanks.
    EXPECT_TRUE(textOf("funcDisplay").isEmpty());
    EXPECT_EQ(lamp("autoIndi")->LED().ColorOn(), clGreen);
}

TEST_F(Sequence, AWatchdogInsideALaterSequenceRestartsItFromStepOne)
{
    connectPort();
    wire();
    click("autobtn");
    clock.advance(1000); // start, watchdog due at 6000
    Responder transponder{*this, {}};
    for (int i = 0; i < 3; ++i) transponder.step();
    transponder.step(false); // the fourth query ("i") is answered late
    clock.advance(5980 - clock.nowMs());
    transponder.answerTo('i'); // next query due at 6040
    clock.advance(20);       // 6000: the watchdog fires
    transponder.queriesSeen.clear();
    clock.advance(40);
    idle();
    EXPECT_EQ(wire(), framed("a=?")) << "the scheduled query goes out as step 1";
    transponder.answerTo('a');
    clock.advance(900);
    idle();
    EXPECT_EQ(wire(), "") << "the watchdog's countdown stops the old sequence";
    clock.advance(60); // 7000: the new sequence starts at step 2
    transponder.step();
    EXPECT_EQ(transponder.queriesSeen, "c");
}

TEST_F(Sequence, AutoOffLetsAScheduledQueryGoOutThenNothing)
{
    connectPort();
    wire();
    click("autobtn");
    clock.advance(1000);
    Responder transponder{*this, {}};
    transponder.step(); // "a" answered: "c" is scheduled
    click("autobtn");
    EXPECT_FALSE(lamp("autoIndi")->Checked());
    clock.advance(60);
    idle();
    EXPECT_EQ(wire(), framed("a=?")) << "Auto resets the step count";
    transponder.answerTo('a');
    clock.advance(10000);
    idle();
    EXPECT_EQ(wire(), "");
}

TEST_F(Sequence, DisconnectStopsEveryTimerOfTheSequence)
{
    connectPort();
    click("autobtn");
    clock.advance(1000);
    Responder transponder{*this, {}};
    transponder.step();
    click("btnConnect");
    EXPECT_FALSE(form->queryTimer->Enabled());
    EXPECT_FALSE(form->wdt->Enabled());
    EXPECT_FALSE(form->autoSequencer->Enabled());
}

TEST_F(Sequence, AnIntervalOfZeroOrLessNeverStartsASequence)
{
    connectPort();
    for (const char* seconds : {"0", "-2147483648"}) {
        SCOPED_TRACE(seconds);
        wire();
        find<QLineEdit>("seqEdit")->setText(QString::fromLatin1(seconds));
        click("autobtn");
        clock.advance(10000);
        idle();
        EXPECT_EQ(wire(), "");
        click("autobtn");
    }
}

TEST_F(Sequence, ANonIntegerIntervalIsReportedAtAutoAndAtTheLastStep)
{
    connectPort();
    wire();
    find<QLineEdit>("seqEdit")->setText(QStringLiteral("x"));
    click("autobtn");
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, QStringLiteral("'x' is not a valid integer value"));
    EXPECT_TRUE(lamp("autoIndi")->Checked());
    // The countdown keeps the value read at start-up (1): the sequence starts.
    clock.advance(1000);
    Responder transponder{*this, {}};
    for (int i = 0; i < 13; ++i) transponder.step();
    boxes.shown.clear();
    clock.advance(60);
    idle();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(wire(), "") << "the \"e\" query is not sent";
    EXPECT_EQ(lamp("autoIndi")->LED().ColorOn(), clGreen);
    EXPECT_FALSE(form->autoSequencer->Enabled());
}

TEST_F(Sequence, RunsSilentlyOnAPortThatIsNotOpen)
{
    connectPort(QStringLiteral("10")); // names no device: connected, port closed
    ASSERT_EQ(boxes.shown.size(), 1u);
    boxes.shown.clear();
    click("autobtn");
    clock.advance(12500); // two watchdog periods
    idle();
    EXPECT_TRUE(boxes.shown.empty()) << "each automatic query to the closed port raised a box";
    EXPECT_EQ(lamp("autoIndi")->LED().ColorOn(), clGreen);
}

TEST_F(Sequence, PingLampStaysLitOutsideASequenceAndGoesOutInside)
{
    connectPort();
    reply("p=Y");
    idle();
    clock.advance(3000);
    idle();
    EXPECT_TRUE(lamp("ledPing")->Checked());

    wire();
    click("autobtn");
    clock.advance(1000);
    Responder transponder{*this, {}};
    transponder.step();
    EXPECT_FALSE(lamp("ledPing")->Checked());
    EXPECT_TRUE(textOf("lblPing").isEmpty());

    reply("p=Y"); // inside a sequence: lit until a query goes out more than 500 ms later
    idle();
    for (int i = 0; i < 8; ++i) transponder.step(); // 8 x 60 ms = 480 ms
    EXPECT_TRUE(lamp("ledPing")->Checked());
    transponder.step();
    EXPECT_FALSE(lamp("ledPing")->Checked());
}

TEST_F(Altitude, RampClimbsBy25AndFallsBackToTheMinimum)
{
    auto* actual = find<QLabel>("lblAltActual");
    auto* minimum = find<QLineEdit>("edMinAlt");
    auto* maximum = find<QLineEdit>("edMaxAlt");
    find<QToolButton>("altitudeBtn")->click();
    EXPECT_TRUE(lamp("indiAlt")->Checked());
    EXPECT_TRUE(form->altTimer->Enabled());

    struct Case {
        const char* min;
        const char* max;
        const char* start;
        std::vector<const char*> next;
    };
    const Case cases[] = {
        {"100", "10000", "100", {"125", "150"}},
        {"100", "10000", "9975", {"10000", "10025", "100"}},
        {"200", "100", "200", {"200", "200"}},         // minimum at least maximum + 25
        {"-100", "10000", "10025", {"65436"}},         // reduced to 16 bits
        {"100", "65501", "65525", {"14", "39"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.start);
        maximum->setText(QString::fromLatin1(c.max));
        minimum->setText(QString::fromLatin1(c.min));
        actual->setText(QString::fromLatin1(c.start));
        for (const char* value : c.next) {
            clock.advance(3500);
            EXPECT_EQ(actual->text(), QString::fromLatin1(value));
        }
    }
    // Typing in the minimum restarts the ramp from each text as typed.
    minimum->setText(QStringLiteral("25"));
    EXPECT_EQ(actual->text(), QStringLiteral("25"));
    minimum->setText(QString());
    EXPECT_EQ(actual->text(), QString());

    QTest::mouseDClick(actual, Qt::LeftButton);
    EXPECT_EQ(actual->text(), QStringLiteral("0"));

    actual->setText(QStringLiteral("high"));
    clock.advance(3500);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, QStringLiteral("'high' is not a valid integer value"));
    EXPECT_EQ(actual->text(), QStringLiteral("high"));
}

TEST_F(Altitude, StepOneSendsTheSimulatedAltitudeWhileTheLampIsLit)
{
    connectPort();
    wire();
    find<QToolButton>("altitudeBtn")->click();
    click("autobtn");
    clock.advance(1000);
    clock.advance(60);
    idle();
    EXPECT_EQ(wire(), framed("a=100"));
    find<QToolButton>("altitudeBtn")->click(); // off: the query again
    EXPECT_FALSE(form->altTimer->Enabled());
    for (int i = 0; i < 13; ++i) {
        reply("x=1");
        idle();
        clock.advance(60);
        idle();
    }
    wire();
    clock.advance(1000);
    clock.advance(60);
    idle();
    EXPECT_EQ(wire(), framed("a=?"));
}
