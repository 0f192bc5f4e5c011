#include "PanelFixture.h"

#include "app/PanelApplication.h"
#include "framework/Colors.h"

#include <QApplication>
#include <QDir>

// The window as a whole, as the operator sees it after a round of replies: each
// value shows in its row and each lamp in its state, with nothing drawn over
// them. The picture is left under the build folder (screenshots/panel.png) so
// that its arrangement can be looked at.
TEST_F(PanelTest, PictureOfTheWindowShowsEachValueAndEachLampInItsState)
{
    setUpPanelApplication(*qApp);
    form->show();
    connectPort();
    reply(std::vector<std::string>{"s=t", "c=1200", "r=Y", "i=1", "a=1025", "v=27.9", "f=1.2", "z=2.14", "p=Y", "*"});
    idle();
    const QImage shot = form->grab().toImage();

    for (const char* value : {"funcDisplay", "lblCode", "ReplyIndi", "lblIdent", "lblAltitude", "lblVoltage",
                              "lblVoltOffset", "lblVersion", "lblPing"}) {
        QLabel* label = find<QLabel>(value);
        const QRect place(label->mapTo(form.get(), QPoint()), label->size());
        // The values are black; nothing else on the panel's face is that dark.
        int ink = 0;
        for (int y = place.top(); y <= place.bottom(); ++y)
            for (int x = place.left(); x <= place.right(); ++x) ink += qGray(shot.pixel(x, y)) < 64 ? 1 : 0;
        EXPECT_GT(ink, 10) << value << " shows nothing";
    }

    const std::pair<const char*, TColor> lamps[] = {
        {"Intled", clRed}, {"Ident", clRed}, {"ledPing", clLime}, {"autoIndi", clOlive}};
    for (const auto& [name, colour] : lamps) {
        TAbLED* led = lamp(name);
        const QPoint middle = led->mapTo(form.get(), led->LED().Bounds().toQRect().center());
        EXPECT_EQ(shot.pixel(middle), fw::ColorToQColor(colour).rgb()) << name;
    }

    const QString folder = QCoreApplication::applicationDirPath() + QStringLiteral("/../../screenshots");
    QDir().mkpath(folder);
    EXPECT_TRUE(shot.save(folder + QStringLiteral("/panel.png")));
}
