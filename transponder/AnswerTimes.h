#pragma once

#include "transponder/QueryRound.h"

#include <chrono>
#include <map>
#include <string>
#include <string_view>

namespace transponder {

// What the pre-flight check takes from the transponder: for each letter the
// first answer after its query went out, and whether it came within
// AnswerLimit of it. The check keeps its own times, whoever sends the queries
// (its own round, or the panel's sequence): a transponder too slow for the
// panel must not pass on an answer that came late.
class AnswerTimes {
public:
    using Clock = QueryRound::Clock;
    // The time-out of every query the panel and xpdrctl send by default: the
    // rule by which "status" counts an item unanswered.
    static constexpr std::chrono::milliseconds AnswerLimit{300};

    struct Answer {
        std::string value; // as the message carries it
        bool late = false;
    };

    // The query for `letter` went out: an earlier answer of it no longer counts.
    void sent(char letter, Clock::time_point at);
    // A message came off the line; it answers its letter's query if it is the first since.
    void received(std::string_view message, Clock::time_point at);
    // The answers of a whole round, as its outcomes timed them. An answer the
    // round gave up on and received later is late.
    static AnswerTimes of(const QueryRound& round, const std::vector<QueryRound::Query>& queries);

    const std::map<char, Answer>& answers() const { return answers_; }
    bool any() const { return !answers_.empty(); }
    void clear();

private:
    std::map<char, Clock::time_point> sentAt_;
    std::map<char, Answer> answers_;
};

} // namespace transponder
