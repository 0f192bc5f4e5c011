#include "app/PanelApplication.h"
#include "framework/MessageBoxes.h"
#include "framework/QtMessageBoxes.h"

#include <QApplication>
#include <gtest/gtest.h>

// The serial component and the conversions report through the message-box
// interface; in the program that has to mean real boxes, not lines on stderr.
TEST(PanelApplication, ReportsThroughRealModalBoxes)
{
    setUpPanelApplication(*qApp);
    EXPECT_NE(dynamic_cast<fw::QtMessageBoxes*>(&fw::messageBoxes()), nullptr);
}
