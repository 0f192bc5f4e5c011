#include "session/SequenceTracker.h"

#include "framework/Timer.h"
#include "transponder/MessageSet.h"
#include "transponder/ReplyParser.h"

namespace session {

namespace {

constexpr char LastLetter = transponder::MessageSet::SequenceLetters.back();

bool has(const std::string& letters, char letter)
{
    return letters.find(letter) != std::string::npos;
}

} // namespace

SequenceTracker::SequenceTracker(const transponder::StatusModel& status, Ended ended, Clock clock)
    : status_(status)
    , ended_(std::move(ended))
    , clock_(std::move(clock))
{
}

void SequenceTracker::sequenceStarted()
{
    if (current_) end();
    current_.emplace();
    current_->record.time = clock_();
    current_->record.tickMs = fw::tickCount();
}

void SequenceTracker::querySent(char letter)
{
    if (current_ && !has(current_->asked, letter)) current_->asked += letter;
}

void SequenceTracker::replyDecoded(const transponder::Reply& reply)
{
    if (!current_) return;
    current_->record.raw[reply.letter] = reply.value;
    if (!has(current_->asked, reply.letter) || has(current_->answered, reply.letter)) return;
    current_->answered += reply.letter;
    if (reply.letter == LastLetter) end();
}

void SequenceTracker::sequenceStopped()
{
    if (current_) end();
}

void SequenceTracker::end()
{
    transponder::SequenceRecord record = std::move(current_->record);
    const std::string answered = std::move(current_->answered);
    current_.reset();
    record.status = status_;
    record.answered = static_cast<int>(answered.size());
    for (char letter : transponder::MessageSet::SequenceLetters)
        if (!has(answered, letter)) record.unanswered += letter;
    ended_(record);
}

} // namespace session
