// Program entry: the application object, the main window, the message loop.
#include "PanelApplication.h"
#include "uavMain.h"

#include <QApplication>
#include <QScreen>
#include <cstdio>

namespace {

// Qt aborts with a long message when it finds no display; an operator who starts
// the panel from a plain console deserves one clear line instead.
bool haveDisplay()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

} // namespace

int main(int argc, char** argv)
{
    if (!haveDisplay()) {
        std::fputs("uavControl: no display (neither DISPLAY nor WAYLAND_DISPLAY is set); "
                   "start it from a desktop session.\n",
                   stderr);
        return 1;
    }
    QApplication app(argc, argv);
    setUpPanelApplication(app);

    TForm1 Form1;
    // Centred on the screen it opens on, whatever its size.
    if (const QScreen* screen = Form1.screen())
        Form1.move(screen->availableGeometry().center() - Form1.rect().center());
    Form1.show();
    return app.exec();
}
