#include "transponder/QuerySequencer.h"

#include "framework/Timer.h"
#include "transponder/MessageSet.h"

namespace transponder {

QuerySequencer::QuerySequencer(SequencerHost& host, fw::TTimer& countdown, fw::TTimer& spacing,
                               fw::TTimer& watchdog)
    : host_(host)
    , countdownTimer_(countdown)
    , spacingTimer_(spacing)
    , watchdogTimer_(watchdog)
{
}

void QuerySequencer::reloadCountdown()
{
    countdown_ = host_.interval();
}

void QuerySequencer::toggleAuto()
{
    step_ = 0;
    autoOn_ = !autoOn_;
    host_.autoSwitched(autoOn_);
    countdownTimer_.setEnabled(autoOn_);
    if (autoOn_)
        countdown_ = host_.interval();
    else
        watchdogTimer_.setEnabled(false);
}

void QuerySequencer::stop()
{
    autoOn_ = false;
    host_.autoSwitched(false);
    countdownTimer_.setEnabled(false);
    spacingTimer_.setEnabled(false);
    watchdogTimer_.setEnabled(false);
}

void QuerySequencer::lineRestored()
{
    if (!autoOn_ || !running()) return;
    spacingTimer_.setEnabled(false);
    watchdogTimer_.setEnabled(false);
    queryDue_ = false;
    step_ = 0;
    startSequence();
}

void QuerySequencer::countdownTick()
{
    // A countdown typed as the most negative integer wraps instead of overflowing;
    // like any interval of 0 or less it then never reaches 0.
    countdown_ = static_cast<int>(static_cast<unsigned>(countdown_) - 1u);
    if (countdown_ != 0) return;
    startSequence();
}

void QuerySequencer::startSequence()
{
    countdown_ = 0;
    host_.sequenceRunning(true);
    spacingTimer_.setInterval(SpacingMs);
    spacingTimer_.setEnabled(true);
    countdownTimer_.setEnabled(false);
    watchdogTimer_.setInterval(WatchdogMs);
    watchdogTimer_.setEnabled(true);
}

void QuerySequencer::spacingTick()
{
    queryDue_ = true;
    spacingTimer_.setEnabled(false);
}

void QuerySequencer::watchdogTick()
{
    host_.sequenceRunning(false);
    countdown_ = 1;
    step_ = 0;
    countdownTimer_.setEnabled(true);
    watchdogTimer_.setEnabled(false);
    if (replySeen_)
        replySeen_ = false;
    else
        host_.linkSilent();
}

void QuerySequencer::replyDecoded()
{
    if (running() && autoOn_) spacingTimer_.setEnabled(true);
    replySeen_ = true;
}

void QuerySequencer::pingShown()
{
    pingShownAt_ = fw::tickCount();
}

void QuerySequencer::sendDue()
{
    if (!queryDue_) return;
    queryDue_ = false;
    ++step_;

    std::string frame = MessageSet::Query(MessageSet::SequenceLetters[static_cast<std::size_t>(step_ - 1)]);
    if (step_ == 1) {
        if (const auto altitude = host_.simulatedAltitude()) frame = MessageSet::Set(MessageSet::Altitude, *altitude);
    } else if (step_ == static_cast<int>(MessageSet::SequenceLetters.size())) {
        spacingTimer_.setEnabled(false);
        host_.sequenceRunning(false);
        step_ = 0;
        countdown_ = host_.interval();
        countdownTimer_.setEnabled(true);
        host_.sequenceCompleted();
    }
    host_.send(frame);

    // The clock is monotonic and 64 bits wide, so it cannot wrap in a run.
    if (pingShownAt_ && fw::tickCount() - *pingShownAt_ > PingShownMs) {
        pingShownAt_.reset();
        host_.pingExpired();
    }
}

} // namespace transponder
