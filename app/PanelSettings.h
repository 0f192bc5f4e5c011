#pragma once

#include <QSettings>

// The panel's settings: where the operator's choices are kept between runs.
inline QSettings panelSettings()
{
    return QSettings(QStringLiteral("uavcontrol"), QStringLiteral("uavControl"));
}
