// Program entry: the command line, the application object, the main window, the
// message loop.
#include "PanelApplication.h"
#include "app/PanelOptions.h"
#include "app/SessionControls.h"
#include "uavMain.h"

#include "version/ProgramVersion.h"

#include <QApplication>
#include <QScreen>
#include <cstdio>
#include <optional>

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
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    PanelOptions options(QStringLiteral("uavcontrol"), QString::fromLatin1(fw::ProgramVersion));
    if (const std::optional<int> status = options.answer(arguments)) return *status;

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
    // A file that cannot be recorded to gets its box; the panel runs unrecorded.
    if (const QString record = options.recordFile(); !record.isEmpty()) Form1.Session().startRecording(record);
    return app.exec();
}
