#include "widgets/AbLED.h"

#include <QGuiApplication>
#include <QTimer>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace GClass;

namespace {

using Events = std::vector<std::string>;

// Records a lamp's mouse and drag events in the order they fire, each with the
// lamp's Checked state at that moment.
struct EventLog {
    Events events;

    void watch(TAbLED& led, const std::string& name)
    {
        auto note = [this, &led, name](const std::string& what) {
            events.push_back(name + ":" + what + (led.Checked() ? " on" : " off"));
        };
        led.setOnMouseDown([note](QObject*, TMouseButton button, TShiftState shift, int x, int y) {
            note("down " + buttonName(button) + shiftNames(shift) + at(x, y));
        });
        led.setOnMouseUp([note](QObject*, TMouseButton button, TShiftState shift, int x, int y) {
            note("up " + buttonName(button) + shiftNames(shift) + at(x, y));
        });
        led.setOnMouseMove([note](QObject*, TShiftState shift, int x, int y) { note("move" + shiftNames(shift) + at(x, y)); });
        led.setOnClick([note](QObject*) { note("click"); });
        led.setOnDblClick([note](QObject*) { note("dblclick"); });
    }
    Events take() { return std::exchange(events, {}); }

    static std::string buttonName(TMouseButton button)
    {
        return button == mbLeft ? "left" : button == mbRight ? "right" : "middle";
    }
    static std::string shiftNames(TShiftState shift)
    {
        std::string names;
        const std::pair<TShiftStateFlag, const char*> flags[] = {{ssShift, "shift"}, {ssAlt, "alt"},
                                                                   {ssCtrl, "ctrl"},   {ssLeft, "Left"},
                                                                   {ssRight, "Right"}, {ssMiddle, "Middle"},
                                                                   {ssDouble, "double"}};
        for (const auto& [flag, name] : flags)
            if (shift & flag) names += std::string(" ") + name;
        return names.empty() ? "" : " [" + names.substr(1) + "]";
    }
    static std::string at(int x, int y) { return " " + std::to_string(x) + "," + std::to_string(y); }
};

struct Window {
    QWidget window;

    TAbLED* add(TMode mode, QPoint at)
    {
        auto* led = new TAbLED(&window);
        led->setMode(mode);
        led->move(at);
        return led;
    }
    bool show()
    {
        window.resize(300, 120);
        window.show();
        return QTest::qWaitForWindowExposed(&window);
    }
};

} // namespace

// Press: the mode's action, then OnMouseDown. Release: OnMouseUp, the mode's
// action, then OnClick when the left button comes up inside the lamp.
TEST(LampEvents, MouseEventsFollowTheModesActionOnPressAndPrecedeItOnRelease)
{
    const struct {
        TMode mode;
        Events expected;
    } cases[] = {
        {mSwitch,
         {"a:down left [Left] 5,16 on", "a:move [Left] 9,16 on", "a:up left 9,16 on", "a:click on"}},
        {mButton,
         {"a:down left [Left] 5,16 on", "a:move [Left] 9,16 on", "a:up left 9,16 on", "a:click off"}},
        {mIndicator,
         {"a:down left [Left] 5,16 off", "a:move [Left] 9,16 off", "a:up left 9,16 off", "a:click off"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.mode));
        Window w;
        TAbLED* led = w.add(c.mode, {0, 0});
        ASSERT_TRUE(w.show());
        EventLog log;
        log.watch(*led, "a");
        QTest::mousePress(led, Qt::LeftButton, {}, {5, 16});
        QTest::mouseMove(led, {9, 16});
        QTest::mouseRelease(led, Qt::LeftButton, {}, {9, 16});
        EXPECT_EQ(log.take(), c.expected);
    }
}

TEST(LampEvents, OnlyALeftReleaseInsideTheLampIsAClick)
{
    Window w;
    TAbLED* led = w.add(mSwitch, {0, 0});
    ASSERT_TRUE(w.show());
    EventLog log;
    log.watch(*led, "a");

    QTest::mousePress(led, Qt::LeftButton, Qt::ShiftModifier, {5, 16});
    QTest::mouseRelease(led, Qt::LeftButton, Qt::ShiftModifier, {120, 16});
    EXPECT_EQ(log.take(), (Events{"a:down left [shift Left] 5,16 on", "a:up left [shift] 120,16 on"}));

    QTest::mousePress(led, Qt::RightButton, Qt::ControlModifier, {5, 16});
    QTest::mouseRelease(led, Qt::RightButton, Qt::ControlModifier, {5, 16});
    EXPECT_EQ(log.take(), (Events{"a:down right [ctrl Right] 5,16 on", "a:up right [ctrl] 5,16 on"}));
}

// A switch toggles on each of the two presses and so ends as it was.
TEST(LampEvents, DoubleClickIsPressReleaseDblClickPressRelease)
{
    Window w;
    TAbLED* led = w.add(mSwitch, {0, 0});
    ASSERT_TRUE(w.show());
    EventLog log;
    log.watch(*led, "a");
    led->setOnMouseMove(nullptr); // the pointer's arrival is not what this is about

    QTest::mouseDClick(w.window.windowHandle(), Qt::LeftButton, {}, led->mapTo(&w.window, QPoint(5, 16)));
    QCoreApplication::processEvents();
    EXPECT_EQ(log.take(), (Events{"a:down left [Left] 5,16 on", "a:up left 5,16 on", "a:click on", "a:dblclick on",
                                  "a:down left [Left double] 5,16 off", "a:up left 5,16 off"}));
    EXPECT_FALSE(led->Checked());
}

TEST(LampEvents, MovesWithoutAButtonAreReportedOnlyWhileSomeoneListens)
{
    Window w;
    TAbLED* led = w.add(mIndicator, {0, 0});
    ASSERT_TRUE(w.show());
    EXPECT_FALSE(led->hasMouseTracking());
    EventLog log;
    log.watch(*led, "a");
    QTest::mouseMove(led, {7, 12});
    EXPECT_EQ(log.take(), (Events{"a:move 7,12 off"}));
    led->setOnMouseMove(nullptr);
    EXPECT_FALSE(led->hasMouseTracking());
}

namespace {

// Two lamps side by side: a drag of `source` that the test steers onto
// `target` and lets go there.
struct DragScene {
    Window w;
    TAbLED* source = w.add(mIndicator, {0, 0});
    TAbLED* target = w.add(mIndicator, {150, 0});
    Events events;

    void watch(bool targetAccepts)
    {
        source->setOnStartDrag([this](QObject*) { events.push_back("source:start"); });
        source->setOnEndDrag([this](QObject*, QObject* onto, int x, int y) {
            events.push_back(std::string("source:end ") + (onto == target ? "target" : onto ? "other" : "none")
                             + EventLog::at(x, y));
        });
        target->setOnDragOver(
            [this, targetAccepts](QObject*, QObject* from, int, int, TDragState state, bool& accept) {
                EXPECT_FALSE(accept) << "Accept starts false";
                const char* names[] = {"enter", "leave", "move"};
                events.push_back(std::string("target:over ") + names[state] + (from == source ? "" : " from another"));
                accept = targetAccepts;
            });
        target->setOnDragDrop([this](QObject*, QObject* from, int x, int y) {
            events.push_back(std::string("target:drop") + (from == source ? "" : " from another") + EventLog::at(x, y));
        });
    }

    // Steers the drag, once it runs, to `to` in the target's coordinates and
    // lets go there.
    void dragTo(QPoint to)
    {
        QWindow* window = w.window.windowHandle();
        const QPoint start = source->mapTo(&w.window, QPoint(6, 16));
        const QPoint end = target->mapTo(&w.window, to);
        QTest::mousePress(window, Qt::LeftButton, {}, start);
        QTimer::singleShot(0, [=] {
            QTest::mouseMove(window, start);
            QTest::mouseMove(window, (start + end) / 2);
            QTest::mouseMove(window, end);
            QTest::mouseRelease(window, Qt::LeftButton, {}, end);
        });
        source->BeginDrag();
    }

    Events take() { return std::exchange(events, {}); }
};

// The offscreen platform ends every drag at once, before a move; the minimal
// platform carries drags as a desktop does.
bool platformCarriesDrags()
{
    return QGuiApplication::platformName() != QLatin1String("offscreen");
}

// Keeps only the first of each run of equal entries: how many moves a drag
// makes over the target is Qt's affair.
Events runs(const Events& events)
{
    Events kept;
    for (const std::string& e : events)
        if (kept.empty() || kept.back() != e) kept.push_back(e);
    return kept;
}

} // namespace

TEST(LampDrag, ADragStartedByCodeIsDroppedWhereOnDragOverAccepts)
{
    ASSERT_TRUE(platformCarriesDrags()) << "run with QT_QPA_PLATFORM=minimal";
    DragScene scene;
    ASSERT_TRUE(scene.w.show());
    scene.watch(true);
    scene.dragTo({6, 16});
    EXPECT_EQ(runs(scene.take()), (Events{"source:start", "target:over enter", "target:over move", "target:drop 6,16",
                                          "source:end target 6,16"}));
}

TEST(LampDrag, ADropThatOnDragOverRefusesEndsTheDragWithNoTarget)
{
    ASSERT_TRUE(platformCarriesDrags()) << "run with QT_QPA_PLATFORM=minimal";
    DragScene scene;
    ASSERT_TRUE(scene.w.show());
    scene.watch(false);
    scene.dragTo({6, 16});
    EXPECT_EQ(runs(scene.take()), (Events{"source:start", "target:over enter", "target:over move", "target:over leave",
                                          "source:end none 0,0"}));

    // Without BeginDrag, pressing and moving a lamp drags nothing.
    QWindow* window = scene.w.window.windowHandle();
    QTest::mousePress(window, Qt::LeftButton, {}, scene.source->mapTo(&scene.w.window, QPoint(6, 16)));
    QTest::mouseMove(window, scene.target->mapTo(&scene.w.window, QPoint(6, 16)));
    QTest::mouseRelease(window, Qt::LeftButton, {}, scene.target->mapTo(&scene.w.window, QPoint(6, 16)));
    EXPECT_TRUE(scene.take().empty());
}
