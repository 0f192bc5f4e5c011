#include "PanelApplication.h"

#include "framework/Application.h"
#include "framework/QtMessageBoxes.h"

#include <QApplication>

void setUpPanelApplication(QApplication& app)
{
    app.setApplicationName(QStringLiteral("uavControl"));
    fw::Application::instance().setTitle(app.applicationName());
    fw::useWidgetBoxes();
    // The window is laid out to the pixel for the classic look: group box titles on
    // the frame line, compact radio buttons. Other styles put titles above the frame
    // and crowd the small group boxes.
    app.setStyle(QStringLiteral("Windows"));
}
