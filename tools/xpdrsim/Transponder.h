#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace xpdrsim {

// Time since the program started; the state machine never reads a clock itself,
// so tests can step through eighteen seconds of SPI without waiting for them.
using Millis = std::chrono::milliseconds;

// The transponder's items and what it does with each frame it receives.
//
// A query (value "?") is answered with the item's current value, a set command
// with the value the item holds afterwards, the way the unit confirms a setting.
// A setting it refuses (a code that is not four octal digits, a range other than
// 1 or 2, a write to a read-only item ...) is answered with the unchanged value,
// so the panel shows what the transponder really holds. Letters it does not know,
// and messages that are not letter "=" value, get no answer.
//
// For "d", "i", "p", "r" and "s" only the first character of the value counts.
class Transponder {
public:
    static constexpr Millis SpiDuration{18000};
    static constexpr Millis ClimbInterval{3000};
    static constexpr int ClimbStep = 25;
    static constexpr int ClimbFloor = 1000;
    static constexpr int ClimbCeiling = 10000;

    // `reportsPerSecond` is the rate of interrogation reports while interrogation
    // replies are on; 0 sends none.
    Transponder(Millis now, double reportsPerSecond);

    // The answers to one received message (STX .. ETX), as whole frames.
    std::vector<std::string> receive(std::string_view message, Millis now);

    // Moves the clock-driven items (climb, SPI, reports) on to `now` and returns the
    // interrogation reports that fell due, at most one per call: after a stall the
    // missed ones are skipped, not sent in a burst.
    std::vector<std::string> advance(Millis now);

    // The earliest time at which advance() has something to do.
    Millis nextEvent() const;

    // The value an item would be answered with now; nothing for letters it does not know.
    std::optional<std::string> value(char letter) const;

private:
    void update(Millis now);
    void apply(char letter, const std::string& value, Millis now);
    int altitude() const;

    Millis start_;
    Millis now_;
    Millis reportPeriod_{0};
    Millis nextReport_{0};
    Millis nextClimb_;
    std::optional<Millis> spiUntil_;

    char function_ = 't';
    std::string code_ = "1200";
    int offsetTenths_ = 12;
    bool replies_ = true;
    bool supply28V_ = true;
    bool serialEncoder_ = false;
    int climbAltitude_ = ClimbFloor;
    int serialAltitude_ = ClimbFloor;
    long long interrogations_ = 0;
};

} // namespace xpdrsim
