#include "session/SequenceTracker.h"

#include "framework/Application.h"
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
    if (current_) end(true);
    // Assigned, not emplaced: clang judges the nested struct, with its member
    // initialisers, not default-constructible while the class is being read.
    current_ = Current{};
    current_->record.time = clock_();
    current_->record.tickMs = fw::tickCount();
    current_->boxAtStart = fw::Application::instance().modalOpen();
    current_->boxesAtStart = fw::Application::instance().boxesOpened();
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
    if (reply.letter == LastLetter) end(false);
}

void SequenceTracker::sequenceStopped()
{
    if (current_) end(true);
}

void SequenceTracker::end(bool cutShort)
{
    const fw::Application& app = fw::Application::instance();
    Current current = std::move(*current_);
    current_.reset();
    transponder::SequenceRecord& record = current.record;
    record.status = status_;
    record.answered = static_cast<int>(current.answered.size());
    record.asked = current.asked;
    record.interrupted =
        cutShort && (current.boxAtStart || app.modalOpen() || app.boxesOpened() != current.boxesAtStart);
    if (!record.interrupted)
        for (char letter : current.asked)
            if (!has(current.answered, letter)) record.unanswered += letter;
    ended_(record);
}

} // namespace session
