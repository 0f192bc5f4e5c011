#pragma once

#include "session/SequenceObserver.h"
#include "transponder/SequenceRecord.h"
#include "transponder/StatusModel.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace session {

// Follows the panel's sequences and says what each one found, as the command-
// line tool's watch does: a query counts as answered by a reply of its letter
// that is decoded after the query went out. A sequence ends when its "e" reply
// is decoded; the watchdog, Auto going off or the next sequence's start cut it
// short, and then the queries that went out and are still unanswered are
// listed: one never sent is not unanswered. A sequence cut short while a box
// held the panel up, or after one did, is interrupted: the replies that came
// meanwhile were not read, so it lists what went out and calls nothing
// unanswered. The nine items are the status display as it stands when the
// sequence ends.
class SequenceTracker : public SequenceObserver {
public:
    using Clock = std::function<std::chrono::system_clock::time_point()>;
    using Ended = std::function<void(const transponder::SequenceRecord& record)>;

    SequenceTracker(const transponder::StatusModel& status, Ended ended,
                    Clock clock = std::chrono::system_clock::now);

    void sequenceStarted() override;
    void querySent(char letter) override;
    void replyDecoded(const transponder::Reply& reply) override;
    void sequenceStopped() override;

    bool open() const { return current_.has_value(); }

private:
    struct Current {
        transponder::SequenceRecord record;
        std::string asked;    // letters, in the order they went out
        std::string answered; // letters
        bool boxAtStart = false;
        std::uint64_t boxesAtStart = 0;
    };
    void end(bool cutShort);

    const transponder::StatusModel& status_;
    Ended ended_;
    Clock clock_;
    std::optional<Current> current_;
};

} // namespace session
