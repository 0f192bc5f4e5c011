#include "PanelApplication.h"

#include "framework/Application.h"
#include "framework/QtMessageBoxes.h"

#include <QApplication>

void setUpPanelApplication(QApplication& app)
{
    app.setApplicationName(QStringLiteral("uavControl"));
    fw::Application::instance().setTitle(app.applicationName());
    // The desktop entry that gives the running panel its name and icon in the
    // task bar: Wayland goes by this name, X11 by the application name above
    // (the entry's StartupWMClass).
    QGuiApplication::setDesktopFileName(QStringLiteral("com.korvane.uavcontrol"));
    fw::useWidgetBoxes();
    // The window is laid out to the pixel for the classic look: group box titles on
    // the frame line, compact radio buttons. Other styles put titles above the frame
    // and crowd the small group boxes.
    app.setStyle(QStringLiteral("Windows"));
}
