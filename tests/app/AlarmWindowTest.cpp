#include "PanelFixture.h"

#include "app/AlarmControls.h"
#include "app/AlarmLimitsDialog.h"
#include "app/AlarmListWindow.h"
#include "app/PanelStatusBar.h"

#include <QAction>
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QTableWidget>
#include <QTimer>

#include <functional>

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
    EXPECT_TRUE(find<QLabel>("alarmSection")->toolTip().contains(QStringLiteral("Acknowledged."))) << "follows the state";
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

// One row a step, against the window: what it does, then the section's text,
// and the list's rows as "name/state" with "+" where the row has its own
// Acknowledge. The section and the key acknowledge the alarm shown, one alarm.
TEST_F(AlarmWindow, TheSectionShowsTheAlarmMostInNeedAndTheListAcknowledgesEachOnItsOwn)
{
    auto* bar = form->findChild<PanelStatusBar*>();
    AlarmControls& alarms = form->Alarms();
    connectPort();
    const QString emergency = QStringLiteral("Emergency code 7700: general emergency");
    const struct {
        std::function<void()> step;
        QString section;
        QStringList rows;
    } steps[] = {
        {[&] { reply("c=7700"), idle(); }, emergency, {"Emergency code/active, unacknowledged+"}},
        {[&] { alarms.portLost(); }, emergency,
         {"Emergency code/active, unacknowledged+", "Link lost/active, unacknowledged+"}},
        {[&] { alarms.acknowledge(); }, // as Ctrl+Shift+A does
         QStringLiteral("Link lost"), {"Link lost/active, unacknowledged+", "Emergency code/active, acknowledged"}},
        {[&] { reply("s=a"), idle(); }, QStringLiteral("Link lost (returned to normal)"),
         {"Link lost/returned, unacknowledged+", "Emergency code/active, acknowledged"}},
        {[&] { alarms.portLost(); }, QStringLiteral("Link lost"),
         {"Link lost/active, unacknowledged+", "Emergency code/active, acknowledged"}},
        {[&] { alarms.list()->findChild<QPushButton*>(QStringLiteral("acknowledge-Link lost"))->click(); }, emergency,
         {"Emergency code/active, acknowledged", "Link lost/active, acknowledged"}},
        {[&] { reply("c=7600"), idle(), alarms.portLost(); }, QStringLiteral("Emergency code 7600: radio failure"),
         {"Emergency code/active, unacknowledged+", "Link lost/active, unacknowledged+"}},
        {[&] { alarms.list()->acknowledgeAllButton->click(); }, QStringLiteral("Emergency code 7600: radio failure"),
         {"Emergency code/active, acknowledged", "Link lost/active, acknowledged"}},
        {[&] { reply(std::vector<std::string>{"s=a", "c=1200"}), idle(); }, QString(), {}},
    };
    form->findChild<QAction*>(QStringLiteral("mnuAlarms"))->trigger();
    ASSERT_TRUE(alarms.list() && alarms.list()->isVisible());
    for (const auto& s : steps) {
        s.step();
        EXPECT_EQ(bar->alarm().toStdString(), s.section.toStdString());
        QStringList rows;
        const QTableWidget* table = alarms.list()->table;
        for (int row = 0; row < table->rowCount(); ++row)
            rows << table->item(row, AlarmListWindow::Name)->text() + u'/' + table->item(row, AlarmListWindow::State)->text()
                        + (table->cellWidget(row, AlarmListWindow::Action) ? QStringLiteral("+") : QString());
        EXPECT_EQ(rows.join(u'|').toStdString(), s.rows.join(u'|').toStdString());
        EXPECT_EQ(alarms.list()->acknowledgeAllButton->isEnabled(), s.section.isEmpty() ? false : rows.join(u' ').contains(u'+'));
    }
}

// The limits: OK refuses a minimum above the maximum and says so; the fields
// follow the watch; the alarm then names the limits.
TEST_F(AlarmWindow, TheLimitsDialogRefusesAMinimumAboveTheMaximumAndTheAlarmNamesTheLimits)
{
    const struct {
        bool watch;
        double minimum, maximum;
        bool accepted;
    } cases[] = {{true, 26.0, 29.5, true}, {true, 30.0, 20.0, false}, {true, 27.0, 27.0, true}, {false, 30.0, 20.0, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.watch << " " << c.minimum << ".." << c.maximum);
        AlarmLimitsDialog dialog(transponder::VoltageLimits{1.0, 2.0});
        dialog.watch->setChecked(c.watch);
        EXPECT_EQ(dialog.minimum->isEnabled(), c.watch);
        EXPECT_EQ(dialog.maximum->isEnabled(), c.watch);
        dialog.minimum->setValue(c.minimum);
        dialog.maximum->setValue(c.maximum);
        dialog.accept();
        EXPECT_EQ(dialog.result() == QDialog::Accepted, c.accepted);
        EXPECT_EQ(dialog.problem->isHidden(), c.accepted);
        EXPECT_TRUE(c.accepted || dialog.problem->text().contains(QStringLiteral("above the maximum")));
        EXPECT_EQ(dialog.limits().has_value(), c.watch);
    }

    // Setup → Alarm Limits…, answered as an operator would once it is open.
    const auto setLimits = [this](bool watch) {
        QTimer::singleShot(0, [watch] {
            for (QWidget* window : QApplication::topLevelWidgets()) {
                auto* dialog = qobject_cast<AlarmLimitsDialog*>(window);
                if (!dialog || !dialog->isVisible()) continue;
                dialog->watch->setChecked(watch);
                dialog->minimum->setValue(26.0);
                dialog->maximum->setValue(29.5);
                dialog->accept();
            }
        });
        form->Alarms().mnuAlarmLimits->trigger();
    };
    setLimits(true);
    connectPort();
    reply("v=30.1");
    idle();
    EXPECT_EQ(form->findChild<PanelStatusBar*>()->alarm().toStdString(), "Supply voltage 30.1 V out of limits 26.0 .. 29.5 V");
    setLimits(false); // as the test found them
    form->Alarms().acknowledge();
    EXPECT_EQ(form->findChild<PanelStatusBar*>()->alarm().toStdString(), "");
}
