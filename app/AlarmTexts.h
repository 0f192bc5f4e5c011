#pragma once

#include "transponder/AlarmModel.h"

#include <QString>
#include <optional>

// The words the panel uses for its alarms, in the status bar, the alarm list,
// the notification and the traffic monitor alike.
namespace alarmtexts {

// "Emergency code", "Link lost", "Supply voltage".
QString name(transponder::AlarmKind kind);
// "active, unacknowledged", "returned, unacknowledged", "active, acknowledged", "normal".
QString state(transponder::AlarmState state);
// What raised it, with its unit and meaning: "7700, general emergency",
// "30.1 V, limits 26.0 .. 29.5 V"; empty for the link.
QString value(const transponder::Alarm& alarm, const std::optional<transponder::VoltageLimits>& limits);
// The alarm as one line: "Emergency code 7700: general emergency",
// "Supply voltage 30.1 V out of limits 26.0 .. 29.5 V".
QString describe(const transponder::Alarm& alarm, const std::optional<transponder::VoltageLimits>& limits);

} // namespace alarmtexts
