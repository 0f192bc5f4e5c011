#include "tools/xpdrsim/Replay.h"

#include <cmath>

namespace xpdrsim {

Replay::Replay(RecordedTransponder recorded, double speed)
    : recorded_(std::move(recorded)), speed_(speed)
{
}

void Replay::restart(Millis now)
{
    start_ = now;
    started_ = true;
    next_ = 0;
}

Millis Replay::at(Millis now) const
{
    return Millis(std::llround(static_cast<double>((now - start_).count()) * speed_));
}

// The first replay time whose recording time reaches `recordingTime`.
Millis Replay::replayTime(Millis recordingTime) const
{
    return start_ + Millis(static_cast<Millis::rep>(std::ceil(static_cast<double>(recordingTime.count()) / speed_)));
}

const RecordedTransponder::Outcome* Replay::outcome(std::string_view message, Millis now) const
{
    return recorded_.outcome(message, at(now));
}

Millis Replay::replyDelay(const RecordedTransponder::Outcome& outcome) const
{
    return Millis(std::llround(static_cast<double>(outcome.delay.count()) / speed_));
}

std::vector<std::string> Replay::advance(Millis now)
{
    std::vector<std::string> due;
    if (!started_) return due;
    const auto& frames = recorded_.unsolicited();
    for (const Millis t = at(now); next_ < frames.size() && frames[next_].at <= t; ++next_)
        due.push_back(frames[next_].bytes);
    return due;
}

Millis Replay::nextEvent() const
{
    if (!started_) return Millis::max();
    const auto& frames = recorded_.unsolicited();
    // Just past the end, where over() turns true.
    return replayTime(next_ < frames.size() ? frames[next_].at : recorded_.length() + Millis(1));
}

} // namespace xpdrsim
