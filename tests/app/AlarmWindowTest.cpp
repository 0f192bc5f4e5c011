#include "PanelFixture.h"

#include "app/AlarmControls.h"
#include "app/PanelStatusBar.h"
#include "app/uavMain.h"

#include <QAction>
#include <QSettings>

using AlarmWindow = PanelTest;
using GuardOnEmergencyCodes = PanelTest;

TEST_F(AlarmWindow, TheSectionBlinksOnItsOwnClockUntilAClickAcknowledgesAndGoesWithTheAlarm)
{
    auto* bar = form->findChild<PanelStatusBar*>();
    EXPECT_TRUE(find<QLabel>("alarmSection")->isHidden());
    connectPort();
    reply("c=7600");
    idle();
    EXPECT_EQ(bar->alarm(), QStringLiteral("Emergency code 7600: radio failure"));
    std::vector<bool> lit{bar->alarmLit()};
    for (int i = 0; i < 3; ++i) {
        clock.advance(AlarmControls::BlinkMs);
        lit.push_back(bar->alarmLit());
    }
    EXPECT_EQ(lit, (std::vector<bool>{true, false, true, false}));

    QTest::mouseClick(find<QLabel>("alarmSection"), Qt::LeftButton);
    EXPECT_TRUE(bar->alarmLit());
    EXPECT_FALSE(form->Alarms().blinkTimer->Enabled()) << "a steady alarm runs no clock";
    reply("c=1200");
    idle();
    EXPECT_EQ(bar->alarm(), QString());
}

TEST_F(AlarmWindow, ALostPortRaisesTheLinkAlarm)
{
    auto* bar = form->findChild<PanelStatusBar*>();
    connectPort();
    reply("s=a");
    idle();
    line.closeMaster();
    QElapsedTimer waited;
    waited.start();
    while (bar->alarm().isEmpty() && waited.elapsed() < 2000) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    EXPECT_EQ(bar->alarm(), QStringLiteral("Link lost"));
}

TEST_F(GuardOnEmergencyCodes, AsksBeforeTheSetButtonSendsOneOnlyWhenSwitchedOn)
{
    struct Case {
        bool guard;
        const char* code;
        fw::MsgResult answer;
        std::string sent;
        const char* asked;
    };
    const Case cases[] = {
        {false, "7700", fw::MsgResult::No, framed("c=7700"), nullptr},
        {true, "7700", fw::MsgResult::No, "", "Set the assigned code to 7700, general emergency?"},
        {true, "7700", fw::MsgResult::Yes, framed("c=7700"), "Set the assigned code to 7700, general emergency?"},
        {true, "75001", fw::MsgResult::Yes, framed("c=75001"), "Set the assigned code to 7500, unlawful interference?"},
        {true, "7600", fw::MsgResult::No, "", "Set the assigned code to 7600, radio failure?"},
        {true, "1200", fw::MsgResult::No, framed("c=1200"), nullptr},
    };
    connectPort();
    wire();
    for (const Case& c : cases) {
        form->Alarms().mnuConfirmEmergency->setChecked(c.guard);
        boxes.shown.clear();
        boxes.answer = c.answer;
        find<QLineEdit>("Edit1")->setText(QString::fromLatin1(c.code));
        click("BitBtn2");
        EXPECT_EQ(wire(), c.sent) << c.code;
        ASSERT_EQ(boxes.shown.size(), c.asked ? 1u : 0u) << c.code;
        if (!c.asked) continue;
        EXPECT_EQ(boxes.shown[0].text, QString::fromLatin1(c.asked));
        EXPECT_EQ(boxes.shown[0].buttons, fw::MsgButtons::YesNo);
    }
    EXPECT_TRUE(QSettings(QStringLiteral("uavcontrol"), QStringLiteral("uavControl"))
                    .value(QStringLiteral("alarms/confirmEmergencyCodes"))
                    .toBool());
}

// A box that stays open across the watchdog, as a real one does while the
// operator reads it: the idle handler, and with it the decoding, waits.
class SlowBoxes : public fw::MessageBoxes {
public:
    explicit SlowBoxes(fw::VirtualClock& clock) : clock_(clock), previous_(&fw::messageBoxes()) { fw::setMessageBoxes(this); }
    ~SlowBoxes() override { fw::setMessageBoxes(previous_); }
    fw::MsgResult show(const QString&, const QString&, fw::MsgButtons, fw::MsgIcon) override
    {
        clock_.advance(6000);
        return fw::MsgResult::No;
    }

private:
    fw::VirtualClock& clock_;
    fw::MessageBoxes* previous_;
};

TEST_F(GuardOnEmergencyCodes, TheSilenceItsOwnBoxMadeRaisesNoLinkAlarmAndARealOneDoes)
{
    auto* bar = form->findChild<PanelStatusBar*>();
    connectPort();
    form->Alarms().mnuConfirmEmergency->setChecked(true);
    click("autobtn");
    clock.advance(1000); // the sequence starts and arms the watchdog
    idle();
    {
        SlowBoxes slow(clock);
        find<QLineEdit>("Edit1")->setText(QStringLiteral("7700"));
        click("BitBtn2"); // the watchdog fires while the box is open
    }
    clock.advance(6000); // and looks once more across the time the box was open
    EXPECT_EQ(bar->alarm(), QString());
    clock.advance(6000); // a sequence of its own without a reply
    EXPECT_EQ(bar->alarm(), QStringLiteral("Link lost"));
}
