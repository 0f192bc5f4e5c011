// The panel from the keyboard alone: Tab through every control in reading
// order, F10 into the menus, Enter and Escape in our dialogs.
#include "PanelFixture.h"

#include "app/PortsDialog.h"
#include "tests/support/FakeDevices.h"

#include <QApplication>
#include <QMenu>
#include <QRadioButton>

using Keyboard = PanelTest;

TEST_F(Keyboard, TabReadsThePanelInLayoutOrderAndF10OpensTheMenus)
{
    connectPort();
    form->show();
    QApplication::setActiveWindow(form.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    find<QLineEdit>("edVoltOffset")->setFocus();
    // A radio group is one stop, as a group of exclusive buttons is; the arrows choose within it.
    QStringList reached;
    for (int i = 0; i < 18; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        const QWidget* w = QApplication::focusWidget();
        reached << (qobject_cast<const QRadioButton*>(w) ? w->parentWidget() : w)->objectName();
    }
    EXPECT_EQ(reached.join(QLatin1Char(' ')).toStdString(),
              "btnVoltOffset btnPing RxData CommStr btnSend edCommPort btnConnect autobtn rbStatus statusBtn Edit1 "
              "BitBtn2 rbInterrogate InterrogateBtn BitBtn3 rbVoltage voltsetBtn edVoltOffset");
    EXPECT_FALSE(find<QPlainTextEdit>("RxData")->isReadOnly()) << "the memo Tab leaves stays editable";

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F10);
    EXPECT_TRUE(QTest::qWaitFor([&] { return find<QMenu>("File1")->isVisible(); }));
}

TEST(KeyboardDialogs, PortsClosesOnEnterAndOnEscape)
{
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
        FakeDevices devices;
        QTemporaryDir directory;
        PortsDialog dialog(devices.source(), directory.path());
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        QTest::keyClick(dialog.findChild<QWidget*>(QStringLiteral("devices")), key);
        EXPECT_FALSE(dialog.isVisible()) << key;
    }
}
