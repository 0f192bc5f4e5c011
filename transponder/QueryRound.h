#pragma once

#include "transponder/SequenceRecord.h"

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace transponder {

// Frames sent one after the other, each answered by the first frame that
// carries its letter; other frames (interrogation reports, say) answer nothing.
// The next frame goes out as soon as the answer has arrived, plus a spacing for
// a slow transponder, or once the time-out has passed without one.
//
// A state machine that takes the time as an argument and reads no clock: the
// caller sends what due() gives, hands every received message to received(),
// and calls due() again by wakeAt() at the latest.
class QueryRound {
public:
    using Clock = std::chrono::steady_clock;

    struct Query {
        std::string frame;
        // The letter of the frame that answers it; '\0': any frame does.
        char letter = '\0';
        // A query whose answer is merely welcome (the echo of a setting) does not
        // count as unanswered without one.
        bool required = true;
    };
    struct Timing {
        std::chrono::milliseconds timeout{300};
        std::chrono::milliseconds spacing{0};
    };
    struct Outcome {
        std::optional<Clock::time_point> sentAt;
        std::optional<Clock::time_point> answeredAt;
        std::string answer; // the whole message; empty while unanswered
    };

    QueryRound(std::vector<Query> queries, Timing timing, Clock::time_point now);

    // The frame to send at `now`, if one is due; it counts as sent from `now`.
    std::optional<std::string> due(Clock::time_point now);
    void received(std::string_view message, Clock::time_point now);
    // When due() has something to do next; nothing once finished.
    std::optional<Clock::time_point> wakeAt() const;
    bool finished() const { return current_ == queries_.size(); }

    const std::vector<Outcome>& outcomes() const { return outcomes_; }
    // The answers read into a status display, the last value received for each
    // letter (from any frame), and the required queries left unanswered.
    SequenceRecord record(std::chrono::system_clock::time_point started) const;

private:
    void giveUpIfLate(Clock::time_point now);

    std::vector<Query> queries_;
    Timing timing_;
    std::vector<Outcome> outcomes_;
    std::size_t current_ = 0;
    bool waiting_ = false; // the current query is out, its answer not in yet
    Clock::time_point nextSend_;
    std::map<char, std::string> raw_;
};

} // namespace transponder
