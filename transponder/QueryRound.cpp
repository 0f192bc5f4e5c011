#include "transponder/QueryRound.h"

#include "transponder/ReplyParser.h"

namespace transponder {

QueryRound::QueryRound(std::vector<Query> queries, Timing timing, Clock::time_point now)
    : queries_(std::move(queries))
    , timing_(timing)
    , outcomes_(queries_.size())
    , nextSend_(now)
{
}

void QueryRound::giveUpIfLate(Clock::time_point now)
{
    if (!waiting_) return;
    const Clock::time_point deadline = *outcomes_[current_].sentAt + timing_.timeout;
    if (now < deadline) return;
    waiting_ = false;
    ++current_;
    nextSend_ = deadline + timing_.spacing;
}

std::optional<std::string> QueryRound::due(Clock::time_point now)
{
    giveUpIfLate(now);
    if (finished() || waiting_ || now < nextSend_) return std::nullopt;
    waiting_ = true;
    outcomes_[current_].sentAt = now;
    return queries_[current_].frame;
}

void QueryRound::received(std::string_view message, Clock::time_point now)
{
    const auto reply = parseReply(message);
    if (reply) raw_[reply->letter] = reply->value;
    // An answer after the time-out is late: the query has been given up.
    giveUpIfLate(now);
    if (!waiting_) return;
    const char wanted = queries_[current_].letter;
    if (wanted != '\0' && (!reply || reply->letter != wanted)) return;
    outcomes_[current_].answeredAt = now;
    outcomes_[current_].answer = message;
    waiting_ = false;
    ++current_;
    nextSend_ = now + timing_.spacing;
}

std::optional<QueryRound::Clock::time_point> QueryRound::wakeAt() const
{
    if (finished()) return std::nullopt;
    if (waiting_) return *outcomes_[current_].sentAt + timing_.timeout;
    return nextSend_;
}

SequenceRecord QueryRound::record(std::chrono::system_clock::time_point started) const
{
    SequenceRecord record;
    record.time = started;
    record.raw = raw_;
    for (std::size_t i = 0; i < queries_.size(); ++i) {
        const Outcome& outcome = outcomes_[i];
        if (outcome.answeredAt) {
            if (const auto reply = parseReply(outcome.answer)) record.status.apply(*reply);
            if (queries_[i].required) ++record.answered;
        } else if (queries_[i].required && queries_[i].letter != '\0') {
            record.unanswered += queries_[i].letter;
        }
    }
    return record;
}

} // namespace transponder
