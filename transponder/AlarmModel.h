#pragma once

#include "transponder/ReplyParser.h"

#include <array>
#include <functional>
#include <optional>
#include <string>

namespace transponder {

// The alarms, most severe first: the section shows the first one that is not normal.
enum class AlarmKind { EmergencyCode, LinkLost, SupplyVoltage };
inline constexpr std::array<AlarmKind, 3> AlarmKinds{AlarmKind::EmergencyCode, AlarmKind::LinkLost,
                                                     AlarmKind::SupplyVoltage};

// The four states of an alarm as alarm management knows them: a condition comes
// and goes on its own; only the operator's acknowledgement ends the
// unacknowledged states.
enum class AlarmState { Normal, ActiveUnacknowledged, ActiveAcknowledged, ReturnedUnacknowledged };

struct Alarm {
    AlarmKind kind;
    AlarmState state = AlarmState::Normal;
    // What raised it: the code, the voltage as reported; empty for the link.
    std::string value;
};

struct VoltageLimits {
    double minimum;
    double maximum;
};

// What the replies and the link mean for the operator. The emergency code is
// read by the rule that fills the code label (the first four characters of a
// "c" reply, none when shorter) and ends only with a "c" reply of another code:
// a blank display is no news about the code. The link alarm comes with a blank
// by the watchdog or a lost port and ends with the next decoded reply. The
// supply voltage is watched only while limits are set.
class AlarmModel {
public:
    // Called once for every change of an alarm's state or value.
    using Changed = std::function<void(const Alarm& alarm)>;
    explicit AlarmModel(Changed changed = {}) : changed_(std::move(changed)) {}

    void replyDecoded(const Reply& reply);
    // The watchdog blanked the display, or the port was lost.
    void linkLost();
    // The operator acknowledged: every unacknowledged alarm is.
    void acknowledge();
    void setVoltageLimits(std::optional<VoltageLimits> limits);

    const Alarm& alarm(AlarmKind kind) const { return alarms_[static_cast<std::size_t>(kind)]; }
    // The most severe alarm that is not normal; nothing when all are.
    const Alarm* shown() const;
    bool unacknowledged() const;

    // 7500, 7600, 7700 and what each says; nothing for any other code.
    static std::optional<std::string> emergencyMeaning(const std::string& code);
    // The words of the record: "emergency-code", "active-unacknowledged", ….
    static std::string name(AlarmKind kind);
    static std::string name(AlarmState state);

private:
    void raise(AlarmKind kind, std::string value);
    void end(AlarmKind kind);
    void set(Alarm& alarm, AlarmState state, std::string value);
    Alarm& at(AlarmKind kind) { return alarms_[static_cast<std::size_t>(kind)]; }

    Changed changed_;
    std::array<Alarm, AlarmKinds.size()> alarms_{
        Alarm{AlarmKind::EmergencyCode, AlarmState::Normal, {}}, Alarm{AlarmKind::LinkLost, AlarmState::Normal, {}},
        Alarm{AlarmKind::SupplyVoltage, AlarmState::Normal, {}}};
    std::optional<VoltageLimits> limits_;
};

} // namespace transponder
