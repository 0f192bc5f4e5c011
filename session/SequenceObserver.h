#pragma once

namespace transponder {
struct Reply;
}

namespace session {

// What the panel tells of its automatic sequence, on the window thread, for the
// record and the trends: nothing here changes the sequence.
class SequenceObserver {
public:
    virtual ~SequenceObserver() = default;
    // The countdown reached zero: the fourteen queries begin.
    virtual void sequenceStarted() = 0;
    // The sequence wrote its next query (or, in step 1, the simulated altitude).
    virtual void querySent(char letter) = 0;
    // A received message was decoded, whether or not a sequence runs.
    virtual void replyDecoded(const transponder::Reply& reply) = 0;
    // The watchdog fired or Auto went off: a sequence still open is cut short.
    virtual void sequenceStopped() = 0;
};

} // namespace session
