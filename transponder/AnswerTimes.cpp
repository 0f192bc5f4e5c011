#include "transponder/AnswerTimes.h"

#include "transponder/ReplyParser.h"

namespace transponder {

void AnswerTimes::sent(char letter, Clock::time_point at)
{
    sentAt_[letter] = at;
    answers_.erase(letter);
}

void AnswerTimes::received(std::string_view message, Clock::time_point at)
{
    const auto reply = parseReply(message);
    if (!reply) return;
    const auto sent = sentAt_.find(reply->letter);
    // Unasked, or answered already: no news for the check.
    if (sent == sentAt_.end() || answers_.count(reply->letter)) return;
    answers_[reply->letter] = Answer{reply->value, at - sent->second > AnswerLimit};
}

AnswerTimes AnswerTimes::of(const QueryRound& round, const std::vector<QueryRound::Query>& queries)
{
    AnswerTimes times;
    const auto& raw = round.record({}).raw;
    for (std::size_t i = 0; i < queries.size() && i < round.outcomes().size(); ++i) {
        const QueryRound::Outcome& outcome = round.outcomes()[i];
        const char letter = queries[i].letter;
        if (!outcome.sentAt) continue;
        times.sent(letter, *outcome.sentAt);
        if (outcome.answeredAt) {
            times.received(outcome.answer, *outcome.answeredAt);
        } else if (const auto late = raw.find(letter); late != raw.end()) {
            times.answers_[letter] = Answer{late->second, true};
        }
    }
    return times;
}

void AnswerTimes::clear()
{
    sentAt_.clear();
    answers_.clear();
}

} // namespace transponder
