#include "framework/RadioGroup.h"

#include <QRadioButton>
#include <QtTest/QTest>
#include <gtest/gtest.h>

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
