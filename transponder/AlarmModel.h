#pragma once

#include "transponder/ReplyParser.h"

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace transponder {

// The alarms, most severe first: among alarms in the same state the emergency
// code comes before a lost link, and a lost link before the supply voltage.
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
// supply voltage is watched only while limits are set; it is raised outside the
// limits and returns only Deadband inside them, so that a reading wandering
// about a limit raises it once, and while it is active a new reading is no news
// (its value stays the one that raised it).
class AlarmModel {
public:
    static constexpr double Deadband = 0.2; // volts

    // Called once for every change of an alarm's state or value.
    using Changed = std::function<void(const Alarm& alarm)>;
    explicit AlarmModel(Changed changed = {}) : changed_(std::move(changed)) {}

    void replyDecoded(const Reply& reply);
    // The watchdog blanked the display, or the port was lost.
    void linkLost();
    // A port was opened: what the code and the voltage were is no news about
    // the transponder now on the line. An acknowledged alarm of theirs goes
    // back to normal without a report (nothing was observed), so that the first
    // report on the new connection is a state observed on it; an unacknowledged
    // one still waits for the operator. True when an alarm went: the caller
    // shows the alarms again.
    bool connectionOpened();
    // The operator acknowledged this alarm, and only this one; nothing happens
    // unless it waits for an acknowledgement.
    void acknowledge(AlarmKind kind);
    // The operator acknowledged every alarm that waits.
    void acknowledgeAll();
    // An alarm another machine judged, in its state there: active there
    // raises it here with its value, any other state ends it. Acknowledging
    // it stays this model's own, so that each operator sees it until they did.
    void follow(const Alarm& there);
    void setVoltageLimits(std::optional<VoltageLimits> limits);
    const std::optional<VoltageLimits>& voltageLimits() const { return limits_; }

    const Alarm& alarm(AlarmKind kind) const { return alarms_[static_cast<std::size_t>(kind)]; }
    // Every alarm that is not normal, the one that most needs the operator
    // first: active and unacknowledged, then returned and unacknowledged, then
    // active and acknowledged; within each, in the order of AlarmKinds.
    std::vector<const Alarm*> ranked() const;
    // The first of ranked(); nothing when all are normal.
    const Alarm* shown() const;
    bool unacknowledged() const;
    // Whether `a` needs the operator before `b` (both not normal).
    static bool outranks(const Alarm& a, const Alarm& b);

    // 7500, 7600, 7700 and what each says; nothing for any other code.
    static std::optional<std::string> emergencyMeaning(const std::string& code);
    // The words of the record: "emergency-code", "active-unacknowledged", ….
    static std::string name(AlarmKind kind);
    static std::string name(AlarmState state);

private:
    void raise(AlarmKind kind, std::string value);
    void end(AlarmKind kind);
    void set(Alarm& alarm, AlarmState state, std::string value);
    void judgeVoltage(const Reply& reply);
    Alarm& at(AlarmKind kind) { return alarms_[static_cast<std::size_t>(kind)]; }

    Changed changed_;
    std::array<Alarm, AlarmKinds.size()> alarms_{
        Alarm{AlarmKind::EmergencyCode, AlarmState::Normal, {}}, Alarm{AlarmKind::LinkLost, AlarmState::Normal, {}},
        Alarm{AlarmKind::SupplyVoltage, AlarmState::Normal, {}}};
    std::optional<VoltageLimits> limits_;
};

} // namespace transponder
