// The panel recording a session, as a process of its own that a test can kill:
// it connects COM1 of the port directory in UAVCONTROL_PORTS, records to the
// file named on its command line and switches Auto on. After each sequence has
// gone on record it prints "sequence N" on stdout.
#include "app/PanelApplication.h"
#include "app/SessionControls.h"
#include "app/uavMain.h"
#include "session/TrendData.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: recording_panel FILE\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    setUpPanelApplication(app);
    TForm1 form;
    form.show();
    form.findChild<QLineEdit*>(QStringLiteral("edCommPort"))->setText(QStringLiteral("1"));
    form.findChild<QAbstractButton*>(QStringLiteral("btnConnect"))->click();
    if (!form.Session().startRecording(QString::fromLocal8Bit(argv[1]))) return 1;
    int sequences = 0;
    // The trends hear of a sequence after the record has it.
    QObject::connect(&form.Session().trends(), &session::TrendData::changed, [&](int series) {
        if (series != session::TrendData::Answered) return;
        std::printf("sequence %d\n", ++sequences);
        std::fflush(stdout);
    });
    form.findChild<QAbstractButton*>(QStringLiteral("autobtn"))->click();
    return app.exec();
}
