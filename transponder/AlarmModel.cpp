#include "transponder/AlarmModel.h"

#include "transponder/MessageSet.h"
#include "transponder/Volts.h"

#include <algorithm>

namespace transponder {

namespace {

bool active(AlarmState state)
{
    return state == AlarmState::ActiveUnacknowledged || state == AlarmState::ActiveAcknowledged;
}

// How urgently a state needs the operator; lower first.
int urgency(AlarmState state)
{
    switch (state) {
    case AlarmState::ActiveUnacknowledged: return 0;
    case AlarmState::ReturnedUnacknowledged: return 1;
    case AlarmState::ActiveAcknowledged: return 2;
    case AlarmState::Normal: break;
    }
    return 3;
}

// Readings are tenths of a volt: a limit compared in binary must not move by a
// rounding error.
constexpr double Tolerance = 1e-9;

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
        judgeVoltage(reply);
    }
}

void AlarmModel::judgeVoltage(const Reply& reply)
{
    const auto v = readVolts(reply.value);
    if (!v) return;
    Alarm& alarm = at(AlarmKind::SupplyVoltage);
    const bool outside = *v < limits_->minimum - Tolerance || *v > limits_->maximum + Tolerance;
    const bool wellInside = *v >= limits_->minimum + Deadband - Tolerance && *v <= limits_->maximum - Deadband + Tolerance;
    if (outside) {
        // Active already: another reading out of limits is the same condition.
        if (!active(alarm.state)) set(alarm, AlarmState::ActiveUnacknowledged, reply.shows ? reply.shows->text : reply.value);
    } else if (wellInside) {
        end(AlarmKind::SupplyVoltage);
    }
}

void AlarmModel::linkLost()
{
    raise(AlarmKind::LinkLost, {});
}

bool AlarmModel::connectionOpened()
{
    bool forgot = false;
    for (AlarmKind kind : {AlarmKind::EmergencyCode, AlarmKind::SupplyVoltage}) {
        Alarm& alarm = at(kind);
        if (alarm.state != AlarmState::ActiveAcknowledged) continue;
        alarm = Alarm{kind, AlarmState::Normal, {}};
        forgot = true;
    }
    return forgot;
}

void AlarmModel::acknowledge(AlarmKind kind)
{
    Alarm& alarm = at(kind);
    if (alarm.state == AlarmState::ActiveUnacknowledged)
        set(alarm, AlarmState::ActiveAcknowledged, alarm.value);
    else if (alarm.state == AlarmState::ReturnedUnacknowledged)
        set(alarm, AlarmState::Normal, alarm.value);
}

void AlarmModel::acknowledgeAll()
{
    for (AlarmKind kind : AlarmKinds) acknowledge(kind);
}

void AlarmModel::follow(const Alarm& there)
{
    if (active(there.state))
        raise(there.kind, there.value);
    else
        end(there.kind);
}

void AlarmModel::setVoltageLimits(std::optional<VoltageLimits> limits)
{
    limits_ = limits;
    // Without limits nothing about the voltage is wrong.
    if (!limits_) end(AlarmKind::SupplyVoltage);
}

bool AlarmModel::outranks(const Alarm& a, const Alarm& b)
{
    const int ua = urgency(a.state);
    const int ub = urgency(b.state);
    return ua != ub ? ua < ub : static_cast<int>(a.kind) < static_cast<int>(b.kind);
}

std::vector<const Alarm*> AlarmModel::ranked() const
{
    std::vector<const Alarm*> ranked;
    for (const Alarm& alarm : alarms_)
        if (alarm.state != AlarmState::Normal) ranked.push_back(&alarm);
    std::stable_sort(ranked.begin(), ranked.end(), [](const Alarm* a, const Alarm* b) { return outranks(*a, *b); });
    return ranked;
}

const Alarm* AlarmModel::shown() const
{
    const auto all = ranked();
    return all.empty() ? nullptr : all.front();
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
