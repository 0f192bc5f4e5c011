#include "app/AlarmTexts.h"

using transponder::Alarm;
using transponder::AlarmKind;
using transponder::AlarmModel;
using transponder::AlarmState;

namespace alarmtexts {

namespace {

QString latin1(const std::string& bytes)
{
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// Limits are set in tenths of a volt; written with a point, as the transponder writes volts.
QString limitsText(const transponder::VoltageLimits& limits)
{
    return QStringLiteral("%1 .. %2 V").arg(limits.minimum, 0, 'f', 1).arg(limits.maximum, 0, 'f', 1);
}

} // namespace

QString name(AlarmKind kind)
{
    switch (kind) {
    case AlarmKind::EmergencyCode: return QStringLiteral("Emergency code");
    case AlarmKind::LinkLost: return QStringLiteral("Link lost");
    case AlarmKind::SupplyVoltage: return QStringLiteral("Supply voltage");
    }
    return {};
}

QString state(AlarmState state)
{
    switch (state) {
    case AlarmState::Normal: return QStringLiteral("normal");
    case AlarmState::ActiveUnacknowledged: return QStringLiteral("active, unacknowledged");
    case AlarmState::ActiveAcknowledged: return QStringLiteral("active, acknowledged");
    case AlarmState::ReturnedUnacknowledged: return QStringLiteral("returned, unacknowledged");
    }
    return {};
}

QString value(const Alarm& alarm, const std::optional<transponder::VoltageLimits>& limits)
{
    switch (alarm.kind) {
    case AlarmKind::EmergencyCode:
        return QStringLiteral("%1, %2").arg(latin1(alarm.value), latin1(AlarmModel::emergencyMeaning(alarm.value).value_or("")));
    case AlarmKind::LinkLost: return {};
    case AlarmKind::SupplyVoltage:
        return QStringLiteral("%1 V").arg(latin1(alarm.value))
               + (limits ? QStringLiteral(", limits ") + limitsText(*limits) : QString());
    }
    return {};
}

QString describe(const Alarm& alarm, const std::optional<transponder::VoltageLimits>& limits)
{
    switch (alarm.kind) {
    case AlarmKind::EmergencyCode:
        return QStringLiteral("Emergency code %1: %2")
            .arg(latin1(alarm.value), latin1(AlarmModel::emergencyMeaning(alarm.value).value_or("")));
    case AlarmKind::LinkLost: return QStringLiteral("Link lost");
    case AlarmKind::SupplyVoltage:
        return QStringLiteral("Supply voltage %1 V out of limits").arg(latin1(alarm.value))
               + (limits ? QStringLiteral(" ") + limitsText(*limits) : QString());
    }
    return {};
}

} // namespace alarmtexts
