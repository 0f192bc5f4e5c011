#include "transponder/AlarmModel.h"

#include "transponder/MessageSet.h"

#include <cstdlib>

namespace transponder {

namespace {

bool active(AlarmState state)
{
    return state == AlarmState::ActiveUnacknowledged || state == AlarmState::ActiveAcknowledged;
}

// The voltage as the transponder writes it, or nothing when it is no number.
std::optional<double> volts(const std::string& text)
{
    const char* begin = text.c_str();
    char* end = nullptr;
    const double value = std::strtod(begin, &end);
    if (end == begin) return std::nullopt;
    return value;
}

} // namespace

void AlarmModel::replyDecoded(const Reply& reply)
{
    // Any decoded reply shows the link carries.
    end(AlarmKind::LinkLost);
    if (reply.letter == MessageSet::AssignedCode && reply.shows) {
        const std::string& code = reply.shows->text;
        if (emergencyMeaning(code))
            raise(AlarmKind::EmergencyCode, code);
        else
            end(AlarmKind::EmergencyCode);
    } else if (reply.letter == MessageSet::Voltage && limits_) {
        const auto v = volts(reply.value);
        if (!v) return;
        if (*v < limits_->minimum || *v > limits_->maximum)
            raise(AlarmKind::SupplyVoltage, reply.shows ? reply.shows->text : reply.value);
        else
            end(AlarmKind::SupplyVoltage);
    }
}

void AlarmModel::linkLost()
{
    raise(AlarmKind::LinkLost, {});
}

void AlarmModel::acknowledge()
{
    for (Alarm& alarm : alarms_) {
        if (alarm.state == AlarmState::ActiveUnacknowledged)
            set(alarm, AlarmState::ActiveAcknowledged, alarm.value);
        else if (alarm.state == AlarmState::ReturnedUnacknowledged)
            set(alarm, AlarmState::Normal, alarm.value);
    }
}

void AlarmModel::setVoltageLimits(std::optional<VoltageLimits> limits)
{
    limits_ = limits;
    // Without limits nothing about the voltage is wrong.
    if (!limits_) end(AlarmKind::SupplyVoltage);
}

const Alarm* AlarmModel::shown() const
{
    for (const Alarm& alarm : alarms_)
        if (alarm.state != AlarmState::Normal) return &alarm;
    return nullptr;
}

bool AlarmModel::unacknowledged() const
{
    for (const Alarm& alarm : alarms_)
        if (alarm.state == AlarmState::ActiveUnacknowledged || alarm.state == AlarmState::ReturnedUnacknowledged)
            return true;
    return false;
}

void AlarmModel::raise(AlarmKind kind, std::string value)
{
    Alarm& alarm = at(kind);
    if (active(alarm.state) && alarm.value == value) return;
    // Another value while active (7600 after 7700) is news of its own: it asks for
    // an acknowledgement again.
    set(alarm, AlarmState::ActiveUnacknowledged, std::move(value));
}

void AlarmModel::end(AlarmKind kind)
{
    Alarm& alarm = at(kind);
    if (alarm.state == AlarmState::ActiveUnacknowledged)
        set(alarm, AlarmState::ReturnedUnacknowledged, alarm.value);
    else if (alarm.state == AlarmState::ActiveAcknowledged)
        set(alarm, AlarmState::Normal, alarm.value);
}

void AlarmModel::set(Alarm& alarm, AlarmState state, std::string value)
{
    alarm.state = state;
    alarm.value = std::move(value);
    if (changed_) changed_(alarm);
}

std::optional<std::string> AlarmModel::emergencyMeaning(const std::string& code)
{
    if (code == "7500") return "unlawful interference";
    if (code == "7600") return "radio failure";
    if (code == "7700") return "general emergency";
    return std::nullopt;
}

std::string AlarmModel::name(AlarmKind kind)
{
    switch (kind) {
    case AlarmKind::EmergencyCode: return "emergency-code";
    case AlarmKind::LinkLost: return "link-lost";
    case AlarmKind::SupplyVoltage: return "supply-voltage";
    }
    return {};
}

std::string AlarmModel::name(AlarmState state)
{
    switch (state) {
    case AlarmState::Normal: return "normal";
    case AlarmState::ActiveUnacknowledged: return "active-unacknowledged";
    case AlarmState::ActiveAcknowledged: return "active-acknowledged";
    case AlarmState::ReturnedUnacknowledged: return "returned-unacknowledged";
    }
    return {};
}

} // namespace transponder
