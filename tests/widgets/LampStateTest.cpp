#include "widgets/AbLED.h"

#include <QDialog>
#include <QMetaProperty>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace AbFlashT;
using namespace AbProc;
using namespace GClass;

namespace {

// Records the lamp events in the order they fire, as "<name>:status" or
// "<name>:int".
struct EventLog {
    std::vector<std::string> events;

    void watch(TAbLED& led, const std::string& name)
    {
        led.setOnStatusChanged([this, name](QObject*) { events.push_back(name + ":status"); });
        led.setOnStatusIntChanged([this, name](QObject*) { events.push_back(name + ":int"); });
    }
    std::vector<std::string> take() { return std::exchange(events, {}); }
};

using Events = std::vector<std::string>;

// A window with lamps; the test keeps them lit and shown so mouse events reach them.
struct Panel {
    QWidget window;
    std::vector<TAbLED*> leds;

    TAbLED* add(TMode mode, int group, int bit, QWidget* parent = nullptr)
    {
        auto* led = new TAbLED(parent ? parent : &window);
        led->move(0, 40 * static_cast<int>(leds.size()));
        led->setStatusBit(bit);
        led->setMode(mode);
        led->setGroupIndex(group);
        leds.push_back(led);
        return led;
    }
    bool show()
    {
        window.resize(200, 40 * static_cast<int>(leds.size()) + 10);
        window.show();
        return QTest::qWaitForWindowExposed(&window);
    }
};

void leftPress(TAbLED* led) { QTest::mouseClick(led, Qt::LeftButton); }

} // namespace

TEST(LampState, OutOfRangeWritesAreIgnored)
{
    struct Case {
        const char* property;
        int written;
        int expected;
    };
    const Case cases[] = {
        {"LED_Width", 3, 13},  {"LED_Width", 81, 13}, {"LED_Width", 4, 4},   {"LED_Width", 80, 80},
        {"LED_Height", 3, 13}, {"LED_Height", 81, 13}, {"LED_Height", 4, 4}, {"LED_Height", 80, 80},
        {"StatusBit", 32, 0},  {"StatusBit", -1, 0},  {"StatusBit", 31, 31}, {"GroupIndex", -1, 0},
        {"GroupIndex", 7, 7},
    };
    for (const Case& c : cases) {
        TAbLED led;
        led.setProperty(c.property, c.written);
        EXPECT_EQ(led.property(c.property).toInt(), c.expected) << c.property << " := " << c.written;
    }
}

TEST(LampState, StatusBitSelectsTheBitOfTheStatusWordShown)
{
    TAbLED led;
    led.setStatusInt(8);
    EXPECT_FALSE(led.Checked());
    led.setStatusBit(3);
    EXPECT_TRUE(led.Checked());
    led.setStatusBit(2);
    EXPECT_FALSE(led.Checked());
}

TEST(LampState, StatusWordWritesFireStatusThenIntAndCheckedWritesIntThenStatus)
{
    TAbLED led;
    EventLog log;
    log.watch(led, "a");

    led.setStatusInt(5);
    EXPECT_TRUE(led.Checked());
    EXPECT_EQ(log.take(), (Events{"a:status", "a:int"}));

    led.setStatusInt(4);
    EXPECT_FALSE(led.Checked());
    EXPECT_EQ(log.take(), (Events{"a:status", "a:int"}));

    led.setStatusInt(6); // bit 0 stays clear
    EXPECT_EQ(log.take(), (Events{"a:int"}));

    led.setChecked(true);
    EXPECT_EQ(led.StatusInt(), 7);
    EXPECT_EQ(log.take(), (Events{"a:int", "a:status"}));

    led.setChecked(true);
    EXPECT_TRUE(log.take().empty());

    led.setFlashing(true);
    EXPECT_EQ(log.take(), (Events{"a:status"}));
    led.setFlashing(false);
}

TEST(LampState, ModeWritesResetTheStatusWordEveryTime)
{
    Panel panel;
    TAbLED* first = panel.add(mIndicator, 3, 0);
    TAbLED* second = panel.add(mIndicator, 3, 1);
    first->setStatusInt(2);
    EXPECT_TRUE(second->Checked());

    first->setMode(mButton);
    EXPECT_EQ(first->StatusInt(), 0);
    EXPECT_EQ(second->StatusInt(), 0);
    first->setChecked(true);
    first->setMode(mButton); // the same mode again still clears
    EXPECT_FALSE(first->Checked());

    second->setMode(mRadioButton);
    EXPECT_EQ(second->StatusInt(), 1);
    EXPECT_TRUE(first->Checked());
    EXPECT_FALSE(second->Checked());
}

TEST(LampState, LayoutPropertiesAreSetByNameThroughTheSetters)
{
    TAbLED led;
    EXPECT_TRUE(led.setProperty("Mode", "mSwitch"));
    EXPECT_TRUE(led.setProperty("LED_Shape", "sDiamondLeft"));
    EXPECT_TRUE(led.setProperty("LED_Position", "lpBottom"));
    EXPECT_TRUE(led.setProperty("Frequency", "ff05Hz"));
    EXPECT_TRUE(led.setProperty("LED_ColorOff", QVariant::fromValue<uint>(clBtnFace)));
    EXPECT_EQ(led.Mode(), mSwitch);
    EXPECT_EQ(led.LED().Shape(), sDiamondLeft);
    EXPECT_EQ(led.LED_Position(), lpBottom);
    EXPECT_EQ(led.Frequency(), ff05Hz);

    // The order a stored layout writes them in.
    const QMetaObject* meta = led.metaObject();
    QStringList own;
    for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i) own << meta->property(i).name();
    EXPECT_EQ(own, QStringList({"Caption", "Checked", "Flashing", "Frequency", "StatusInt", "StatusBit", "GroupIndex",
                                "Mode", "LED_Shape", "LED_ColorOn", "LED_ColorOff", "LED_Width", "LED_Height",
                                "LED_Position", "Spacing"}));
}

TEST(LampGroup, RadioButtonPressMakesTheWordItsOwnBitInEveryMember)
{
    Panel panel;
    TAbLED* a = panel.add(mRadioButton, 1, 0);
    TAbLED* b = panel.add(mRadioButton, 1, 1);
    TAbLED* c = panel.add(mRadioButton, 1, 2);
    ASSERT_TRUE(panel.show());
    EXPECT_TRUE(a->Checked());

    leftPress(c);
    for (TAbLED* led : {a, b, c}) EXPECT_EQ(led->StatusInt(), 4);
    EXPECT_FALSE(a->Checked());
    EXPECT_FALSE(b->Checked());
    EXPECT_TRUE(c->Checked());
}

// Switching a radio-mode lamp on from code selects it exactly as a press does.
TEST(LampGroup, RadioButtonSwitchedOnFromCodeClearsTheOthersOfItsGroup)
{
    Panel panel;
    TAbLED* a = panel.add(mRadioButton, 1, 0);
    TAbLED* b = panel.add(mRadioButton, 1, 1);
    TAbLED* c = panel.add(mRadioButton, 1, 2);
    TAbLED* elsewhere = panel.add(mRadioButton, 2, 1);
    ASSERT_TRUE(a->Checked());

    const struct {
        TAbLED* lamp;
        int word;
    } steps[] = {{c, 4}, {b, 2}, {a, 1}, {c, 4}};
    for (const auto& step : steps) {
        step.lamp->setChecked(true);
        for (TAbLED* led : {a, b, c}) {
            EXPECT_EQ(led->StatusInt(), step.word);
            EXPECT_EQ(led->Checked(), led == step.lamp);
        }
    }
    EXPECT_EQ(elsewhere->StatusInt(), 1);

    // Off from code leaves the group's word alone: no member comes on instead.
    c->setChecked(false);
    for (TAbLED* led : {a, b, c}) {
        EXPECT_EQ(led->StatusInt(), 4);
        EXPECT_FALSE(led->Checked());
    }
    c->setChecked(true);
    EXPECT_TRUE(c->Checked());
    EXPECT_FALSE(a->Checked());
}

TEST(LampGroup, SwitchesOfOneGroupEachSetTheirBitInTheSharedWord)
{
    Panel panel;
    TAbLED* a = panel.add(mSwitch, 2, 0);
    TAbLED* b = panel.add(mSwitch, 2, 1);
    ASSERT_TRUE(panel.show());

    leftPress(a);
    EXPECT_TRUE(a->Checked());
    EXPECT_FALSE(b->Checked());
    EXPECT_EQ(a->StatusInt(), 1);
    EXPECT_EQ(b->StatusInt(), 1);

    leftPress(b);
    EXPECT_EQ(a->StatusInt(), 3);
    EXPECT_EQ(b->StatusInt(), 3);
    EXPECT_TRUE(b->Checked());

    leftPress(a);
    EXPECT_EQ(b->StatusInt(), 2);
    EXPECT_FALSE(a->Checked());
}

TEST(LampGroup, SpansTheWholeWindowButNotItsDialogs)
{
    Panel panel;
    auto* left = new QWidget(&panel.window);
    auto* right = new QWidget(&panel.window);
    TAbLED* a = panel.add(mIndicator, 5, 0, left);
    TAbLED* b = panel.add(mIndicator, 5, 1, right);
    auto* dialog = new QDialog(&panel.window);
    TAbLED* elsewhere = panel.add(mIndicator, 5, 0, dialog);

    a->setChecked(true);
    EXPECT_EQ(b->StatusInt(), 1);
    EXPECT_EQ(elsewhere->StatusInt(), 0);
    b->setChecked(true);
    EXPECT_EQ(a->StatusInt(), 3);
}

TEST(LampGroup, JoiningAGroupAdoptsTheWordOfItsFirstCreatedMember)
{
    Panel panel;
    TAbLED* first = panel.add(mIndicator, 4, 1);
    TAbLED* second = panel.add(mIndicator, 4, 2);
    first->setStatusInt(6);
    TAbLED* late = panel.add(mIndicator, 0, 2);
    late->setStatusInt(1);
    late->setGroupIndex(4);
    EXPECT_EQ(late->StatusInt(), 6);
    EXPECT_TRUE(late->Checked());
    EXPECT_TRUE(second->Checked());
}

TEST(LampGroup, PropagationIsOneFlagForAllGroups)
{
    Panel panel;
    TAbLED* a = panel.add(mIndicator, 1, 0);
    TAbLED* b = panel.add(mIndicator, 1, 0);
    TAbLED* x = panel.add(mIndicator, 2, 0);
    TAbLED* y = panel.add(mIndicator, 2, 0);
    // While group 1 hands on its word, a write to group 2 stays with its target.
    b->setOnStatusIntChanged([&](QObject*) { x->setStatusInt(8); });
    a->setStatusInt(3);
    EXPECT_EQ(b->StatusInt(), 3);
    EXPECT_EQ(x->StatusInt(), 8);
    EXPECT_EQ(y->StatusInt(), 0);
    // Outside a propagation the same write reaches the group.
    x->setStatusInt(9);
    EXPECT_EQ(y->StatusInt(), 9);
}

TEST(LampGroup, GroupEventsFollowTheLampsOwnIntEventBeforeItsStatusEvent)
{
    Panel panel;
    TAbLED* a = panel.add(mSwitch, 6, 0);
    TAbLED* b = panel.add(mSwitch, 6, 1);
    EventLog log;
    log.watch(*a, "a");
    log.watch(*b, "b");
    a->setChecked(true);
    EXPECT_EQ(log.take(), (Events{"a:int", "b:int", "a:status"}));
}

TEST(LampMouse, OnlyTheLeftButtonActsAndOnlyOutsideIndicatorMode)
{
    struct Case {
        TMode mode;
        Qt::MouseButton button;
        bool checkedAfterClick;
    };
    const Case cases[] = {
        {mButton, Qt::RightButton, false}, {mSwitch, Qt::RightButton, false}, {mRadioButton, Qt::RightButton, false},
        {mIndicator, Qt::RightButton, false}, {mIndicator, Qt::LeftButton, false}, {mSwitch, Qt::LeftButton, true},
        {mRadioButton, Qt::LeftButton, true}, {mButton, Qt::LeftButton, false},
    };
    for (const Case& c : cases) {
        Panel panel;
        TAbLED* led = panel.add(c.mode, 0, 1);
        ASSERT_TRUE(panel.show());
        const int before = led->StatusInt();
        QTest::mouseClick(led, c.button);
        EXPECT_EQ(led->Checked(), c.checkedAfterClick) << int(c.mode) << " " << c.button;
        if (!c.checkedAfterClick) {
            EXPECT_EQ(led->StatusInt(), before) << int(c.mode) << " " << c.button;
        }
    }
}

TEST(LampMouse, ButtonIsLitOnlyWhileTheLeftButtonIsHeld)
{
    Panel panel;
    TAbLED* led = panel.add(mButton, 0, 0);
    ASSERT_TRUE(panel.show());
    EventLog log;
    log.watch(*led, "a");

    QTest::mousePress(led, Qt::LeftButton);
    EXPECT_TRUE(led->Checked());
    EXPECT_EQ(log.take(), (Events{"a:int", "a:status"}));
    QTest::mouseRelease(led, Qt::LeftButton);
    EXPECT_FALSE(led->Checked());
    EXPECT_EQ(log.take(), (Events{"a:int", "a:status"}));
}

TEST(LampMouse, DoubleClickCountsAsTwoPresses)
{
    Panel panel;
    TAbLED* led = panel.add(mSwitch, 0, 0);
    ASSERT_TRUE(panel.show());
    int changes = 0;
    led->setOnStatusChanged([&](QObject*) { ++changes; });

    QTest::mouseDClick(panel.window.windowHandle(), Qt::LeftButton, {}, led->geometry().center());
    QCoreApplication::processEvents();
    EXPECT_EQ(changes, 2);
    EXPECT_FALSE(led->Checked());
}
