#pragma once

#include "tools/xpdrsim/RecordedTransponder.h"

#include <string>
#include <string_view>
#include <vector>

namespace xpdrsim {

// A recorded transponder played on the simulator's clock: replay time t (from
// the start, or the last restart) is recording time t × speed from the
// session's start. Until it is started the recording's clock stands still:
// nothing falls due and the replay is never over.
class Replay {
public:
    Replay(RecordedTransponder recorded, double speed);

    // Plays from the recording's start, from `now` on.
    void restart(Millis now);
    bool started() const { return started_; }
    // The recording's time at `now`.
    Millis at(Millis now) const;
    // What the recording answered to `message` at this point; see
    // RecordedTransponder::outcome.
    const RecordedTransponder::Outcome* outcome(std::string_view message, Millis now) const;
    // The frames the recorded transponder sent on its own that are due by `now`.
    std::vector<std::string> advance(Millis now);
    // Whether the link was lost on record at the time of the last advance().
    bool linkLost() const { return started_ && edge_ % 2 == 1; }
    // When the next such frame, a loss's start or end, or the end is due.
    Millis nextEvent() const;
    bool over(Millis now) const { return started_ && at(now) > recorded_.length(); }
    // How long after its question `outcome`'s reply goes out: its recorded
    // delay on the replay's clock.
    Millis replyDelay(const RecordedTransponder::Outcome& outcome) const;
    Millis length() const { return recorded_.length(); }

private:
    Millis replayTime(Millis recordingTime) const;

    RecordedTransponder recorded_;
    double speed_;
    Millis start_{0};
    bool started_ = false;
    std::size_t next_ = 0; // the next frame the transponder sent on its own
    std::vector<Millis> edges_; // each loss's start and end, in order
    std::size_t edge_ = 0;      // the next edge; odd while the link is lost
};

} // namespace xpdrsim
