#include "serial/ReconnectMachine.h"

#include "framework/FolderWatch.h"
#include "platform/ConnectionWait.h"
#include "platform/PortDirectoryOnly.h"
#include "platform/PortNames.h"
#include "serial/Serial2.h"

#include <cerrno>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>

namespace {

QString comName(const TSerial& serial)
{
    return QStringLiteral("COM%1").arg(unsigned{serial.Port()});
}

// The port's entry in the port directory; empty without a port directory. The
// built-in devices are left out: a UART on the board does not come and go.
std::string entryOf(const QString& comName)
{
    const std::string directory = platform::portDirectory();
    return directory.empty() ? std::string() : directory + "/" + comName.toStdString();
}

bool exists(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

// Tells one link from another made later under the same name.
QString linkIdentity(const std::string& path)
{
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) return {};
    return QStringLiteral("%1:%2.%3").arg(info.st_ino).arg(info.st_ctim.tv_sec).arg(info.st_ctim.tv_nsec);
}

bool isPseudoTerminal(const std::string& path)
{
    struct stat info {};
    // The slaves of the Unix 98 pseudo-terminals have the majors 136 to 143.
    return ::stat(path.c_str(), &info) == 0 && S_ISCHR(info.st_mode) && major(info.st_rdev) >= 136
        && major(info.st_rdev) <= 143;
}

// The folder of the pseudo-terminals, wherever it is mounted. It changes whenever
// any program on the machine opens or closes a terminal, and nothing there can
// bring a lost port back: only a new link in the port directory does.
bool isPseudoTerminalFolder(const QString& folder)
{
    struct statfs info {};
    return ::statfs(folder.toLocal8Bit().constData(), &info) == 0 && info.f_type == DEVPTS_SUPER_MAGIC;
}

// Failures of the operator's Connect that end by themselves: a device not
// plugged in yet, a server not started yet or away for a moment.
bool isWaitable(int error, bool network)
{
    if (error == ENOENT || error == ENODEV) return true;
    if (!network) return false;
    switch (error) {
    case ECONNREFUSED:
    case ECONNRESET:
    case ECONNABORTED:
    case EPIPE:
    case ETIMEDOUT:
    case EHOSTUNREACH:
    case ENETUNREACH:
        return true;
    default:
        return false;
    }
}

// A device that is not there is waited for on the file system's word alone.
bool isMissing(int error)
{
    return error == ENOENT || error == ENODEV;
}

} // namespace

ReconnectMachine::ReconnectMachine(TSerial& serial, QObject* parent)
    : QObject(parent)
    , serial_(serial)
{
    connect(&serial_, &TSerial::portFailed, this, [this](int error) { portFailed(error); });
    connect(&serial_, &TSerial::portLost, this, [this](int error) { reportClosed(error); });
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, [this] { lookAgain(true); });
    retry_.setOnTimer([this](QObject*) {
        retry_.setEnabled(false);
        nextAttempt_ = {};
        lookAgain();
    });
    hold_.setInterval(HoldMs);
    hold_.setOnTimer([this](QObject*) { holdCounted(); });
}

bool ReconnectMachine::isNetwork() const
{
    const std::string entry = entryOf(comName(serial_));
    return !entry.empty() && platform::isNetworkEntry(entry);
}

void ReconnectMachine::setEnabled(bool enabled)
{
    const bool was = enabled_;
    enabled_ = enabled;
    if (!enabled) {
        if (state_ != State::Waiting && state_ != State::Trying) return;
        stopWaiting();
        enter(State::Stopped);
        return;
    }
    if (was) return;
    // On again while the link is down: the operator still wants it, so the
    // waiting starts again now rather than at the next Connect.
    if (state_ == State::Lost && !attemptsStarted_) {
        startAttempts();
    } else if (state_ == State::Stopped && waitingWanted_ && !serial_.Active()) {
        startWaiting();
        enter(State::Waiting);
        lookAgain();
    }
}

void ReconnectMachine::connectStarted()
{
    stopWaiting();
    hold_.setEnabled(false);
    held_ = false;
    reopened_ = false;
    waitingWanted_ = false;
    triedEntry_.clear();
    schedule_.reset();
    serial_.setReportLosses(true);
    enter(State::Connecting);
}

void ReconnectMachine::connectFinished()
{
    if (serial_.Active()) {
        // Refused settings were reported with the port left open: that was
        // this Connect's one report.
        if (serial_.SettingsError() != 0) serial_.setReportLosses(false);
        startHoldCount();
        enter(State::Connected);
        return;
    }
    serial_.setReportLosses(false);
    lastError_ = serial_.ErrorCode();
    waitingWanted_ = isWaitable(lastError_, isNetwork());
    if (!enabled_ || !waitingWanted_) {
        enter(State::Stopped);
        return;
    }
    // The operator may press Connect first and plug the adapter in then, or
    // start the server then.
    lostLink_ = linkIdentity(entryOf(comName(serial_)));
    startWaiting();
    if (isNetwork()) scheduleRetry();
    enter(State::Waiting);
}

void ReconnectMachine::disconnected()
{
    stopWaiting();
    hold_.setEnabled(false);
    held_ = false;
    waitingWanted_ = false;
    serial_.setReportLosses(true);
    enter(State::Stopped);
}

void ReconnectMachine::linkHeld()
{
    if (state_ == State::Connected && !held_) becameHeld();
}

void ReconnectMachine::replyDecoded()
{
    if (state_ != State::Connected || held_) return;
    answered_ = true;
    if (upLongEnough_) becameHeld();
}

void ReconnectMachine::startHoldCount()
{
    openedLink_ = linkIdentity(entryOf(comName(serial_)));
    answered_ = false;
    upLongEnough_ = false;
    hold_.setEnabled(true);
}

void ReconnectMachine::holdCounted()
{
    hold_.setEnabled(false);
    upLongEnough_ = true;
    // Staying up proves nothing on its own: a server that accepts and never
    // answers stays up too.
    if (answered_) becameHeld();
}

void ReconnectMachine::attemptNow()
{
    if (state_ == State::Waiting && enabled_) attempt();
}

void ReconnectMachine::becameHeld()
{
    hold_.setEnabled(false);
    held_ = true;
    reopened_ = false;
    schedule_.reset();
    serial_.setReportLosses(true);
}

void ReconnectMachine::portFailed(int error)
{
    hold_.setEnabled(false);
    lastError_ = error;
    waitingWanted_ = true;
    attemptsStarted_ = false;
    // The entry as it was when the lost link opened: whatever it has become
    // since (re-pointed while the link was up, or while the operator reads the
    // report) is new.
    lostLink_ = openedLink_;
    enter(State::Lost);
    // The attempts do not wait for the report to be read: a panel left alone
    // comes back by itself, and the report goes away when it does. They start
    // once the report is up (it is decided on after this returns).
    if (enabled_)
        QMetaObject::invokeMethod(this, [this] {
            if (state_ == State::Lost && enabled_ && !attemptsStarted_) startAttempts();
        }, Qt::QueuedConnection);
}

void ReconnectMachine::reportClosed(int)
{
    if (state_ != State::Lost || attemptsStarted_) {
        // The attempts went on behind the report; they are failed ones from
        // now on, until a link holds.
        if (state_ != State::Connected) serial_.setReportLosses(false);
        return;
    }
    if (!enabled_ || serial_.Active()) {
        serial_.setReportLosses(false);
        enter(serial_.Active() ? State::Connected : State::Stopped);
        return;
    }
    startAttempts();
}

void ReconnectMachine::startAttempts()
{
    attemptsStarted_ = true;
    // A report was shown if one was due; from now on, until a link holds, the
    // losses are failed attempts.
    serial_.setReportLosses(false);
    const bool wasHeld = held_;
    held_ = false;
    startWaiting();
    enter(State::Waiting);
    // A link that had held was lost: what came back behind the box opens at
    // once. One that had not was a failed attempt: a network port's next try
    // waits its turn, and so does a device's that an attempt had reopened. A
    // device the operator's Connect opened waits for the file system's word.
    if (wasHeld || (!isNetwork() && !reopened_))
        lookAgain();
    else
        scheduleRetry();
}

void ReconnectMachine::startWaiting()
{
    QStringList folders;
    const auto add = [&folders](const std::string& path) {
        const QString folder = QString::fromStdString(platform::nearestExistingFolder(path));
        if (!isPseudoTerminalFolder(folder)) folders << folder;
    };
    // Every link on the way: the port-directory entry, a by-id name, the device.
    std::string step = entryOf(comName(serial_));
    for (int hops = 0; !step.empty() && hops < 16; ++hops) {
        add(step);
        step = platform::linkTarget(step);
    }
    fw::watchExactly(watcher_, folders);
}

void ReconnectMachine::stopWaiting()
{
    retry_.setEnabled(false);
    nextAttempt_ = {};
    const QStringList folders = watcher_.directories();
    if (!folders.isEmpty()) watcher_.removePaths(folders);
}

void ReconnectMachine::lookAgain(bool notified)
{
    if (state_ != State::Waiting) return;
    startWaiting(); // the way to the device may have changed
    const std::string entry = entryOf(comName(serial_));
    // A missing entry is waited for: a timed attempt could only fall back on a
    // built-in device, which it must not.
    if (entry.empty() || !exists(entry)) {
        if (nextAttempt_.isNull()) return;
        retry_.setEnabled(false);
        nextAttempt_ = {};
        emit stateChanged(state_);
        return;
    }
    const bool network = platform::isNetworkEntry(entry);
    if (!network && isPseudoTerminal(entry) && linkIdentity(entry) == lostLink_) return;
    // A network entry that was written anew is tried at once, in the place of
    // the next scheduled attempt; other changes in its folder wait their turn.
    const QString identity = linkIdentity(entry);
    if (network && notified && (identity == triedEntry_ || identity == lostLink_)) return;
    if (network) triedEntry_ = identity;
    attempt();
}

void ReconnectMachine::attempt()
{
    retry_.setEnabled(false);
    nextAttempt_ = {};
    enter(State::Trying);
    int error = 0;
    {
        // Only what the entry names, even if it vanishes before the opening
        // looks it up, and no box: nobody at the window asked for this.
        const platform::PortDirectoryOnly directoryOnly;
        const platform::UnattendedOpening unattended;
        error = serial_.tryOpen();
    }
    if (state_ != State::Trying) return; // stopped while a network port was opening
    if (error == 0) {
        stopWaiting();
        reopened_ = true;
        serial_.setReportLosses(false);
        startHoldCount();
        enter(State::Connected);
        // The loss's report, if it is still up, is news no longer.
        serial_.withdrawLossReport();
        emit restored();
        return;
    }
    // An opening under way elsewhere (off the window thread): it is no
    // attempt yet, and its end calls attemptNow().
    if (error == EINPROGRESS) {
        enter(State::Waiting);
        return;
    }
    lastError_ = error;
    enter(State::Waiting);
    if (isNetwork() || !isMissing(error)) scheduleRetry();
}

void ReconnectMachine::scheduleRetry()
{
    const auto wait = schedule_.next();
    retry_.setInterval(static_cast<unsigned>(wait.count()));
    retry_.setEnabled(true);
    nextAttempt_ = QDateTime::currentDateTime().addMSecs(wait.count());
    emit stateChanged(state_);
}

void ReconnectMachine::enter(State state)
{
    state_ = state;
    emit stateChanged(state);
}
