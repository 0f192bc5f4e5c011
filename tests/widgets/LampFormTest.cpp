#include "ui_LampForm.h"

#include <gtest/gtest.h>

using namespace AbFlashT;
using namespace AbProc;
using namespace GClass;

// A form made in the designer sets the lamps through their setters, in the
// order the form lists the properties.
TEST(LampForm, DesignedFormSetsEveryPublishedProperty)
{
    QWidget form;
    Ui::LampForm ui;
    ui.setupUi(&form);

    const TAbLED& a = *ui.ledAuto;
    EXPECT_EQ(a.Caption(), "Auto|Seq");
    EXPECT_EQ(a.Frequency(), ff8Hz);
    EXPECT_EQ(a.StatusBit(), 1);
    EXPECT_EQ(a.Mode(), mSwitch);
    EXPECT_EQ(a.LED().Shape(), sArrowUp);
    EXPECT_EQ(a.LED().ColorOn(), clRed);
    EXPECT_EQ(a.LED().ColorOff(), clOlive);
    EXPECT_EQ(a.LED().Width(), 16);
    EXPECT_EQ(a.LED().Height(), 12);
    EXPECT_EQ(a.LED_Position(), lpRight);
    EXPECT_EQ(a.Spacing(), 3);
    EXPECT_EQ(a.geometry(), QRect(8, 8, 73, 33));
    // Checked, then the word 2, then bit 1 of it: the lamp ends on.
    EXPECT_EQ(a.StatusInt(), 2);
    EXPECT_TRUE(a.Checked());

    const TAbLED& r = *ui.ledRadio;
    EXPECT_EQ(r.Frequency(), ff05Hz);
    EXPECT_EQ(r.Mode(), mRadioButton);
    // Mode comes after StatusInt: a radio button's word becomes 1.
    EXPECT_EQ(r.StatusInt(), 1);
    EXPECT_FALSE(r.Checked());
    EXPECT_EQ(r.LED().Shape(), sDiamondRight);
    EXPECT_EQ(r.LED().ColorOff(), clBtnFace);
    EXPECT_EQ(r.LED_Position(), lpTop);
}
