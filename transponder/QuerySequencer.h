#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace fw {
class TTimer;
}

namespace transponder {

// What the sequencer needs from the one who shows it and owns the line.
class SequencerHost {
public:
    virtual ~SequencerHost() = default;
    // The seconds between sequences, read when Auto goes on and when a sequence
    // ends. It may throw (a text that is not a number): whatever the sequencer did
    // before the read stands, and nothing after it happens.
    virtual int interval() = 0;
    // While the simulated altitude runs, the value that step 1 sends in place of
    // the altitude query; nothing otherwise.
    virtual std::optional<std::string> simulatedAltitude() = 0;
    // One whole frame for the line.
    virtual void send(const std::string& frame) = 0;
    // Auto was switched on or off.
    virtual void autoSwitched(bool on) = 0;
    // A sequence started (true), or ended or was cut short by the watchdog (false).
    virtual void sequenceRunning(bool running) = 0;
    // The watchdog found that nothing was decoded since it last looked.
    virtual void linkSilent() = 0;
    // A ping reply has been shown for long enough.
    virtual void pingExpired() = 0;
    // The last query of a sequence went out: each one before it followed a
    // decoded message, so the link carried a whole sequence.
    virtual void sequenceCompleted() {}
};

// The panel's automatic sequence: a countdown of the operator's seconds, then
// the fourteen queries of the message set, each sent 60 ms after a decoded
// message (any message: nothing pairs replies with queries), and a link
// watchdog that looks once per sequence start.
//
// It runs on three window timers that its owner creates and whose OnTimer the
// owner routes to countdownTick(), spacingTick() and watchdogTick(). Their rules
// carry the timing: writing the value a timer already has leaves its count
// alone, so a watchdog armed by one start is not re-armed by the next start
// while it still runs.
//
// A query falls due on the spacing timer and goes out at the next sendDue(),
// which the owner calls when it is idle, after decoding what has arrived.
class QuerySequencer {
public:
    static constexpr unsigned SpacingMs = 60;
    static constexpr unsigned WatchdogMs = 5000;
    // A ping reply goes out with the first query sent more than this after it.
    static constexpr std::uint64_t PingShownMs = 500;

    QuerySequencer(SequencerHost& host, fw::TTimer& countdown, fw::TTimer& spacing, fw::TTimer& watchdog);

    bool autoOn() const { return autoOn_; }
    // A sequence runs from the countdown's end until its last query or the watchdog.
    bool running() const { return countdown_ == 0; }

    // Reads the seconds into the countdown, as at start-up.
    void reloadCountdown();
    // The Auto button: on starts the countdown, off stops it and the watchdog. A
    // query already due still goes out.
    void toggleAuto();
    // The link is given up: Auto off, and no timer of the sequence runs.
    void stop();
    // The line is back after a loss. A sequence the loss cut short waits for
    // replies that will not come: it is dropped and a fresh one starts at once,
    // as when the countdown reaches 0. A countdown that runs carries on.
    void lineRestored();

    void countdownTick();
    void spacingTick();
    void watchdogTick();

    // A message was decoded: during a sequence the next query follows 60 ms later.
    void replyDecoded();
    // A ping reply is being shown from now on.
    void pingShown();
    // Sends the query that has fallen due, if any.
    void sendDue();

private:
    void startSequence();

    SequencerHost& host_;
    fw::TTimer& countdownTimer_;
    fw::TTimer& spacingTimer_;
    fw::TTimer& watchdogTimer_;

    bool autoOn_ = false;
    int step_ = 0;         // queries sent in this sequence, 0..13
    int countdown_ = 0;    // seconds to the next sequence; 0 while one runs
    bool queryDue_ = false;
    bool replySeen_ = false; // a message was decoded since the watchdog looked
    std::optional<std::uint64_t> pingShownAt_;
};

} // namespace transponder
