#include "PanelFixture.h"

#include "app/AlarmControls.h"
#include "app/PanelStatusBar.h"

#include <QAction>

// The guard's setting is kept: each test leaves it off, as it found it.
class AlarmWindow : public PanelTest {
protected:
    void TearDown() override
    {
        form->Alarms().mnuConfirmEmergency->setChecked(false);
        PanelTest::TearDown();
    }
};

TEST_F(AlarmWindow, TheSectionBlinksOnItsOwnClockUntilAClickAcknowledgesAndALostPortRaisesTheLinkAlarm)
{
    auto* bar = form->findChild<PanelStatusBar*>();
    EXPECT_TRUE(find<QLabel>("alarmSection")->isHidden());
    connectPort();
    reply("c=7600");
    idle();
    EXPECT_EQ(bar->alarm(), QStringLiteral("Emergency code 7600: radio failure"));
    std::vector<bool> lit{bar->alarmLit()};
    for (int i = 0; i < 3; ++i, lit.push_back(bar->alarmLit())) clock.advance(AlarmControls::BlinkMs);
    EXPECT_EQ(lit, (std::vector<bool>{true, false, true, false}));
    QTest::mouseClick(find<QLabel>("alarmSection"), Qt::LeftButton);
    EXPECT_TRUE(bar->alarmLit());
    EXPECT_FALSE(form->Alarms().blinkTimer->Enabled()) << "a steady alarm runs no clock";
    reply("c=1200");
    idle();
    EXPECT_EQ(bar->alarm(), QString());

    line.closeMaster();
    QElapsedTimer waited;
    for (waited.start(); bar->alarm().isEmpty() && waited.elapsed() < 2000;) QCoreApplication::processEvents();
    EXPECT_EQ(bar->alarm(), QStringLiteral("Link lost"));
}

TEST_F(AlarmWindow, TheGuardAsksBeforeTheSetButtonSendsAnEmergencyCodeOnlyWhenSwitchedOn)
{
    using fw::MsgResult;
    const struct {
        bool guard;
        const char* code;
        MsgResult answer;
        const char* sent;
        const char* asked;
    } cases[] = {
        {false, "7700", MsgResult::No, "c=7700", ""},
        {true, "7700", MsgResult::No, "", "7700, general emergency"},
        {true, "7700", MsgResult::Yes, "c=7700", "7700, general emergency"},
        {true, "75001", MsgResult::Yes, "c=75001", "7500, unlawful interference"},
        {true, "7600", MsgResult::No, "", "7600, radio failure"}, {true, "1200", MsgResult::No, "c=1200", ""},
    };
    connectPort();
    wire();
    for (const auto& c : cases) {
        form->Alarms().mnuConfirmEmergency->setChecked(c.guard);
        boxes.shown.clear();
        boxes.answer = c.answer;
        find<QLineEdit>("Edit1")->setText(QString::fromLatin1(c.code));
        click("BitBtn2");
        EXPECT_EQ(wire(), *c.sent ? framed(c.sent) : "") << c.code;
        ASSERT_EQ(boxes.shown.size(), *c.asked ? 1u : 0u) << c.code;
        EXPECT_TRUE(!*c.asked || (boxes.shown[0].text == QStringLiteral("Set the assigned code to %1?").arg(c.asked) &&
                                   boxes.shown[0].buttons == fw::MsgButtons::YesNo));
    }
}

// The box stays open across the watchdog, as a real one does while the
// operator reads it, and the replies wait with the idle handler.
TEST_F(AlarmWindow, TheSilenceTheGuardsOwnBoxMadeRaisesNoLinkAlarmAndARealOneDoes)
{
    struct SlowBoxes : fw::RecordingMessageBoxes {
        fw::VirtualClock* clock;
        fw::MsgResult show(const QString&, const QString&, fw::MsgButtons, fw::MsgIcon) override
        {
            return clock->advance(6000), fw::MsgResult::No;
        }
    } slow;
    slow.clock = &clock;
    auto* bar = form->findChild<PanelStatusBar*>();
    connectPort();
    form->Alarms().mnuConfirmEmergency->setChecked(true);
    click("autobtn");
    clock.advance(1000); // the sequence starts and arms the watchdog
    idle();
    fw::setMessageBoxes(&slow);
    find<QLineEdit>("Edit1")->setText(QStringLiteral("7700"));
    click("BitBtn2"); // the watchdog fires while the box is open
    fw::setMessageBoxes(&boxes);
    clock.advance(6000); // and looks once more across the time the box was open
    EXPECT_EQ(bar->alarm(), QString());
    clock.advance(6000); // a sequence of its own without a reply
    EXPECT_EQ(bar->alarm(), QStringLiteral("Link lost"));
}
