#pragma once

#include "framework/Timer.h"
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

class PreparedDevice;

// One transponder's link without a window: its serial component, its
// reconnect machine, and a QueryRound of the automatic sequence's fourteen
// queries each interval.
//
// Nothing here blocks the window thread for long and no link waits on
// another: openings and the attempts that bring a lost port back run on a
// thread of their own (PreparedDevice), and the window thread only takes
// their results; a round waits for its answers on timers, never in a loop;
// a round does not start while what the last one wrote still waits in the
// output queue (a line that takes nothing would hold every write up).
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

    // The last finished round; nothing before the first.
    const std::optional<transponder::SequenceRecord>& lastRecord() const { return lastRecord_; }
    // When the transponder was last heard from, on the scheduler's clock.
    std::optional<std::uint64_t> lastReplyMs() const { return lastReplyMs_; }
    // The link quality: how many of the last round's queries were answered.
    int answered() const { return lastRecord_ ? lastRecord_->answered : 0; }
    int asked() const { return asked_; }
    const transponder::AlarmModel& alarms() const { return alarms_; }

signals:
    // Anything the link shows has changed.
    void changed();
    void roundFinished(const transponder::SequenceRecord& record);
    void alarmChanged(const transponder::Alarm& alarm);

private:
    struct Opening;

    Clock::time_point now() const;
    std::shared_ptr<platform::SerialDevice> takeDevice();
    void startOpening();
    void abandonOpening();
    void opened(const std::shared_ptr<Opening>& opening);
    void follow(ReconnectMachine::State state);
    void received(const std::string& message);
    void startRound();
    void pump();
    void finishRound();
    void lost(int error);
    void fail(const QString& failure, const QString& diagnosis);

    fw::TimerScheduler& scheduler_;
    TSerial serial_;
    ReconnectMachine machine_;
    fw::TTimer poll_;
    fw::TTimer wake_;
    fw::TTimer restart_;
    transponder::AlarmModel alarms_;
    unsigned interval_ = DefaultIntervalMs;
    transponder::QueryRound::Timing timing_;
    bool running_ = false;

    std::shared_ptr<Opening> opening_;       // under way on its thread
    std::shared_ptr<PreparedDevice> ready_;  // opened, for the component to take

    std::unique_ptr<transponder::QueryRound> round_;
    std::chrono::system_clock::time_point roundStarted_;
    std::optional<transponder::SequenceRecord> lastRecord_;
    std::optional<std::uint64_t> lastReplyMs_;
    int asked_ = 0;
    QString destination_;
    QString failure_;
    QString diagnosis_;
};

} // namespace links
