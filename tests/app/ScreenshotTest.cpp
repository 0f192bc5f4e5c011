#include "PanelFixture.h"

#include "app/PanelApplication.h"

#include <QApplication>
#include <QDir>

// Not a check of pixels: it leaves a picture of the window under the build folder
// (screenshots/panel.png) so that its arrangement can be looked at.
TEST_F(PanelTest, WritesAScreenshotOfTheWindow)
{
    setUpPanelApplication(*qApp);
    form->show();
    connectPort();
    reply(std::vector<std::string>{"s=t", "c=1200", "r=Y", "i=1", "a=1025", "v=27.9", "f=1.2", "z=2.14", "p=Y"});
    idle();
    QTest::qWait(50);
    const QString folder = QCoreApplication::applicationDirPath() + QStringLiteral("/../../screenshots");
    QDir().mkpath(folder);
    const QImage shot = form->grab().toImage();
    EXPECT_EQ(shot.size(), form->size());
    EXPECT_TRUE(shot.save(folder + QStringLiteral("/panel.png")));
}
