#pragma once

#include "framework/Timer.h"
#include "links/DeviceOpening.h"
#include "serial/ReconnectMachine.h"
#include "serial/Serial2.h"
#include "transponder/AlarmModel.h"
#include "transponder/QueryRound.h"
#include "transponder/SequenceRecord.h"

#include <QObject>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>

namespace links {

// One transponder's link without a window: its serial component, its
// reconnect machine, and a QueryRound of the automatic sequence's fourteen
// queries each interval.
//
// Nothing here blocks the window thread for long and no link waits on
// another: openings and the attempts that bring a lost port back run on a
// thread of their own (DeviceOpening), and the window thread only takes
// their results; a round waits for its answers on timers, never in a loop;
// a write never waits for the device to take its bytes. A device that takes
// none (a far end that stopped reading) fails the write at once: the round
// ends there, the link says "output held up", and the next round tries again.
//
// The link tells only what happened: it is answering once a round has had
// an answer since the port opened, not merely because the port is open; a
// lost link's values are those of its last reply, not current ones.
//
// Failures are never shown in a box: the component reports by event, and
// the link keeps what went wrong in words (failure(), one line for a row or
// stderr, and diagnosis(), the whole story for a tooltip). It reconnects on
// its own; when its machine gives up on a failure no waiting ends (a port in
// use elsewhere, say), it starts over after RestartMs.
class PolledLink : public QObject {
    Q_OBJECT
public:
    using Clock = transponder::QueryRound::Clock;

    static constexpr unsigned DefaultIntervalMs = 5000;
    static constexpr unsigned RestartMs = 5000;

    enum class Phase { Closed, Opening, Polling, Failed };

    explicit PolledLink(sPorts port, QObject* parent = nullptr,
                        fw::TimerScheduler& scheduler = fw::defaultScheduler());
    ~PolledLink() override;
    PolledLink(const PolledLink&) = delete;
    PolledLink& operator=(const PolledLink&) = delete;

    sPorts port() const { return serial_.Port(); }
    // How often a round starts; a round still running when it is due is not
    // started twice.
    void setInterval(unsigned ms);
    unsigned interval() const { return interval_; }
    void setTiming(transponder::QueryRound::Timing timing) { timing_ = timing; }
    void setVoltageLimits(std::optional<transponder::VoltageLimits> limits) { alarms_.setVoltageLimits(limits); }

    // Opens the port off the window thread and polls it once it is open.
    void start();
    // Closes the port now; an opening under way is left to end on its thread.
    void stop();
    bool running() const { return running_; }

    Phase phase() const;
    ReconnectMachine::State reconnectState() const { return machine_.state(); }
    // Where the port leads: the device, or the network port's address.
    QString destination() const { return destination_; }
    // What is wrong, in one line; empty while the link answers.
    QString failure() const { return failure_; }
    // The whole story of what is wrong, for a tooltip.
    QString diagnosis() const { return diagnosis_; }

    // The open link is plain TCP to another machine: whoever is on the way
    // can read and command.
    bool unencrypted() const { return serial_.PlainToAnotherHost(); }
    // Open, and a round has had an answer since it opened.
    bool answering() const { return serial_.Active() && answeredSinceOpen_; }
    // The last finished round; nothing before the first.
    const std::optional<transponder::SequenceRecord>& lastRecord() const { return lastRecord_; }
    // When the transponder was last heard from, on the scheduler's age clock.
    std::optional<std::uint64_t> lastReplyMs() const { return lastReplyMs_; }
    // The link quality: how many of the last round's queries were answered;
    // none since the link was lost.
    int answered() const { return lastRecord_ && !lostSinceRound_ ? lastRecord_->answered : 0; }
    int asked() const { return asked_; }
    const transponder::AlarmModel& alarms() const { return alarms_; }
    // The operator has seen the alarm the link shows (alarms().shown()).
    void acknowledgeAlarm();

signals:
    // Anything the link shows has changed.
    void changed();
    void roundFinished(const transponder::SequenceRecord& record);
    void alarmChanged(const transponder::Alarm& alarm);

private:
    Clock::time_point now() const;
    void opened(const DeviceOpening::Result& result);
    void follow(ReconnectMachine::State state);
    void received(const std::string& message);
    void startRound();
    void pump();
    void finishRound();
    void lost(int error);
    void writeFailed(int error);
    void fail(const QString& failure, const QString& diagnosis);

    fw::TimerScheduler& scheduler_;
    std::unique_ptr<DeviceOpening> opening_;
    TSerial serial_;
    ReconnectMachine machine_;
    fw::TTimer poll_;
    fw::TTimer wake_;
    fw::TTimer restart_;
    transponder::AlarmModel alarms_;
    unsigned interval_ = DefaultIntervalMs;
    transponder::QueryRound::Timing timing_;
    bool running_ = false;

    std::unique_ptr<transponder::QueryRound> round_;
    std::chrono::system_clock::time_point roundStarted_;
    std::optional<transponder::SequenceRecord> lastRecord_;
    std::optional<std::uint64_t> lastReplyMs_;
    int asked_ = 0;
    bool answeredSinceOpen_ = false;
    bool lostSinceRound_ = false; // the link was lost after the last round
    QString destination_;
    QString failure_;
    QString diagnosis_;
};

} // namespace links
