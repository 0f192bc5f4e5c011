#pragma once

#include "framework/Timer.h"
#include "serial/RetrySchedule.h"

#include <QDateTime>
#include <QFileSystemWatcher>
#include <QObject>
#include <QString>

class TSerial;

// Keeps one port's link: the operator's Connect, the link while it holds, its
// loss, and the attempts that bring it back. It owns no window: it tells what
// it does through stateChanged(), and the serial component reports through
// fw::MessageBoxes as ever.
//
//   from                event                        to          what is done
//   ------------------  ---------------------------  ----------  ----------------------------------------------
//   Idle, Stopped       connectStarted               Connecting  waiting ends; one report is due
//   Connecting          connectFinished: open        Connected   the hold count starts
//   Connecting          connectFinished: waitable    Waiting     watch the entry; a network port's timer
//   Connecting          connectFinished: otherwise   Stopped
//   Connected           held (a whole sequence, or   Connected   back-off reset; the next loss is reported
//                       a reply decoded and HoldMs
//                       without a loss)
//   Connected           port failed                  Lost        the entry's identity at the opening kept; the report goes up
//   Lost                report up (enabled), or      Trying      at once: what came back opens; the report
//                       closed, link had held                    goes away by itself once it has
//   Lost                the same, not held           Waiting     a failed attempt: the back-off's next wait
//                                                                (a device the operator opened: its entry is looked at)
//   Lost                report closed, disabled      Stopped
//   Waiting             entry changed, retry due,    Trying      only what the entry names, with no box
//                       attemptNow
//   Trying              opened                       Connected   restored(); the report withdrawn; the hold count starts
//   Trying              opening elsewhere under way  Waiting     no step of the back-off: its end calls attemptNow
//   Trying              failed                       Waiting     the back-off's next wait
//   any                 disconnected, disabled       Stopped     nothing watched, no timer
//   Stopped             enabled, link still wanted   Trying      as from Waiting
//
// Reports: one per operator Connect (its failure, its refused settings, or
// the loss of a link that never held), and one per loss of a link that had
// held. A link that is lost before it has held after being restored was a
// failed attempt: the component is told not to report it.
//
// Attempts: a network port's after RetrySchedule's waits (0.5 s doubling up to
// 8 s, reset only once a link has held). A device's when the file system says
// its entry changed, with no timer; only after such an attempt fails does it
// back off the same way. Every attempt opens only what the port-directory
// entry names (a missing entry is waited for, never replaced by a built-in
// device), shows no box, and counts as failed when the line settings are
// refused. A pseudo-terminal's entry counts only once it has been made anew:
// its number goes to the next program that asks, and an unchanged link to it
// would lead into a stranger's terminal.
//
// Wake-ups: none but due retries and file-system notices for the folders on
// the way to the device (the pseudo-terminals' own folder is never watched).
class ReconnectMachine : public QObject {
    Q_OBJECT
public:
    enum class State { Idle, Connecting, Connected, Lost, Waiting, Trying, Stopped };

    // How long a link must stay up, with a reply decoded but without a whole
    // sequence answered, to have held.
    static constexpr unsigned HoldMs = 10000;

    explicit ReconnectMachine(TSerial& serial, QObject* parent = nullptr);

    // Off: attempts end and none starts; losses are still reported.
    void setEnabled(bool enabled);
    bool isEnabled() const { return enabled_; }

    // The operator's Connect, before and after it has tried to open the port.
    void connectStarted();
    void connectFinished();
    // The operator's Disconnect, before the port closes.
    void disconnected();
    // A whole sequence was answered: the link has held.
    void linkHeld();
    // A reply was decoded on the link that is up: with HoldMs up, it has held.
    void replyDecoded();
    // An opening made off the window thread for this port has finished: while
    // waiting, the attempt that takes its result is made now rather than at the
    // next retry.
    void attemptNow();

    State state() const { return state_; }
    // Whether the port is a network port (its entry is an address).
    bool isNetwork() const;
    // When the next timed attempt is due; null when none is.
    QDateTime nextAttempt() const { return nextAttempt_; }
    // The error of the last failure (of an opening, an attempt or the link).
    int lastError() const { return lastError_; }

    // The folders being watched, for tests and diagnostics.
    QStringList watchedFolders() const { return watcher_.directories(); }

signals:
    void stateChanged(ReconnectMachine::State state);
    // The port is open again after a loss or a Connect that waited.
    void restored();

private:
    void enter(State state);
    void portFailed(int error);
    void reportClosed(int error);
    void startAttempts();
    void startHoldCount();
    void holdCounted();
    void startWaiting();
    void stopWaiting();
    void lookAgain(bool notified = false);
    void attempt();
    void scheduleRetry();
    void becameHeld();

    TSerial& serial_;
    QFileSystemWatcher watcher_;
    fw::TTimer retry_;
    fw::TTimer hold_;
    RetrySchedule schedule_;
    State state_ = State::Idle;
    bool enabled_ = true;
    bool held_ = false;
    bool answered_ = false;       // a reply was decoded on the link that is up
    bool upLongEnough_ = false;   // it has been up for HoldMs
    bool attemptsStarted_ = false; // after a loss: the attempts run (the report may still be up)
    bool waitingWanted_ = false;  // the link is down and the operator has not let it go
    bool reopened_ = false;   // an attempt, not the operator, opened the link that is up
    int lastError_ = 0;
    QDateTime nextAttempt_;
    QString openedLink_;      // the entry as it was when the link that is up opened, see linkIdentity()
    QString lostLink_;        // the same of the link that was lost
    QString triedEntry_;      // a network entry as it was at the last attempt
};
