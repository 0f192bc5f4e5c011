#include "framework/RadioGroup.h"

#include <QAccessible>
#include <QRadioButton>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include <functional>

TEST(TRadioGroup, SelectingFromCodeClicksOnlyWhenTheSelectionChanges)
{
    TRadioGroup group;
    group.setItems({QStringLiteral("Gillham"), QStringLiteral("Serial")});
    int clicks = 0;
    group.setOnClick([&](QObject* sender) {
        EXPECT_EQ(sender, &group);
        ++clicks;
    });
    EXPECT_EQ(group.ItemIndex(), -1);
    group.setItemIndex(1);
    EXPECT_EQ(clicks, 1);
    group.setItemIndex(1);
    EXPECT_EQ(clicks, 1);
    group.setItemIndex(7); // out of range: ignored
    EXPECT_EQ(group.ItemIndex(), 1);
    group.setItemIndex(-1);
    EXPECT_EQ(group.ItemIndex(), -1);
    EXPECT_FALSE(static_cast<QRadioButton*>(group.button(1))->isChecked());
    EXPECT_EQ(clicks, 1);
}

TEST(TRadioGroup, AnOperatorsClickSelectsAndRunsOnClick)
{
    TRadioGroup group;
    group.setColumns(3);
    group.setItems({QStringLiteral("Standby"), QStringLiteral("Mode A"), QStringLiteral("Mode C")});
    group.show();
    int clicks = 0;
    group.setOnClick([&](QObject*) { ++clicks; });
    QTest::mouseClick(group.button(2), Qt::LeftButton, {}, QPoint(5, group.button(2)->height() / 2));
    EXPECT_EQ(group.ItemIndex(), 2);
    EXPECT_EQ(clicks, 1);
    // Three columns: the items stand side by side.
    EXPECT_LT(group.button(0)->x(), group.button(1)->x());
    EXPECT_EQ(group.button(0)->y(), group.button(2)->y());
}

// Screen readers and UI automation check a radio button through its accessible
// "Toggle" action; the keyboard moves the check with the arrow keys. Either way
// the group must see the new choice, or "Set" would send the old one.
TEST(TRadioGroup, CheckingAButtonAnyWaySelectsItsItemAndRunsOnClick)
{
    struct Way {
        const char* name;
        std::function<void(TRadioGroup&)> checkSecond;
    };
    const Way ways[] = {
        {"the accessible Toggle action",
         [](TRadioGroup& group) {
             QAccessibleInterface* button = QAccessible::queryAccessibleInterface(group.button(1));
             ASSERT_NE(button, nullptr);
             ASSERT_NE(button->actionInterface(), nullptr);
             ASSERT_TRUE(button->actionInterface()->actionNames().contains(QAccessibleActionInterface::toggleAction()));
             button->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
         }},
        {"the arrow key",
         [](TRadioGroup& group) {
             group.button(0)->setFocus();
             QTest::keyClick(group.button(0), Qt::Key_Right);
         }},
        {"the button itself", [](TRadioGroup& group) { static_cast<QRadioButton*>(group.button(1))->setChecked(true); }},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        TRadioGroup group;
        group.setColumns(2);
        group.setItems({QStringLiteral("On"), QStringLiteral("Off")});
        group.show();
        group.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&group));
        group.setItemIndex(0);
        int clicks = 0;
        group.setOnClick([&](QObject* sender) {
            EXPECT_EQ(sender, &group);
            ++clicks;
        });
        way.checkSecond(group);
        EXPECT_TRUE(static_cast<QRadioButton*>(group.button(1))->isChecked());
        EXPECT_EQ(group.ItemIndex(), 1);
        EXPECT_EQ(clicks, 1);
    }
}
