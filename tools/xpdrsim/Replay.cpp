#include "tools/xpdrsim/Replay.h"

#include <algorithm>
#include <cmath>

namespace xpdrsim {

Replay::Replay(RecordedTransponder recorded, double speed)
    : recorded_(std::move(recorded)), speed_(speed)
{
    for (const RecordedTransponder::Loss& loss : recorded_.losses()) edges_.insert(edges_.end(), {loss.from, loss.to});
}

void Replay::restart(Millis now)
{
    start_ = now;
    started_ = true;
    next_ = 0;
    edge_ = 0;
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
    const Millis t = at(now);
    for (; next_ < frames.size() && frames[next_].at <= t; ++next_) due.push_back(frames[next_].bytes);
    while (edge_ < edges_.size() && edges_[edge_] <= t) ++edge_;
    return due;
}

Millis Replay::nextEvent() const
{
    if (!started_) return Millis::max();
    const auto& frames = recorded_.unsolicited();
    // Just past the end, where over() turns true.
    Millis next = next_ < frames.size() ? frames[next_].at : recorded_.length() + Millis(1);
    if (edge_ < edges_.size()) next = std::min(next, edges_[edge_]);
    return replayTime(next);
}

} // namespace xpdrsim
