#include "links/PolledLink.h"

#include "links/DeviceOpening.h"
#include "platform/NetworkFailures.h"
#include "platform/OpenDiagnosis.h"
#include "transponder/MessageSet.h"
#include "transponder/ReplyParser.h"

#include <algorithm>
#include <cerrno>

namespace links {

namespace {

QString systemText(int error)
{
    return QString::fromLocal8Bit(platform::systemText(error).c_str());
}

QString comName(sPorts port)
{
    return QStringLiteral("COM%1").arg(unsigned{port});
}

} // namespace

PolledLink::PolledLink(sPorts port, QObject* parent, fw::TimerScheduler& scheduler)
    : QObject(parent)
    , scheduler_(scheduler)
    , serial_(nullptr, [this] { return opening_->take(); })
    , machine_(serial_)
    , poll_(nullptr, scheduler)
    , wake_(nullptr, scheduler)
    , restart_(nullptr, scheduler)
    , alarms_([this](const transponder::Alarm& alarm) { emit alarmChanged(alarm); })
{
    opening_ = std::make_unique<DeviceOpening>(serial_);
    connect(opening_.get(), &DeviceOpening::finished, this, &PolledLink::opened);
    serial_.setPort(port);
    serial_.setDataBits(d8bit);
    // This thread serves every other link too: a write never waits.
    serial_.setWriteLimitMs(0);
    serial_.setRxEventMode(rxMessage);
    serial_.setNotifyErrors(neEvent);
    serial_.setOnMessage([this](QObject*, const std::string& message) { received(message); });
    serial_.setOnError([this](QObject*) { writeFailed(serial_.ErrorCode()); });
    connect(&serial_, &TSerial::portFailed, this, [this](int error) { lost(error); });
    connect(&machine_, &ReconnectMachine::stateChanged, this, [this](ReconnectMachine::State state) { follow(state); });
    poll_.setInterval(interval_);
    poll_.setOnTimer([this](QObject*) { startRound(); });
    wake_.setOnTimer([this](QObject*) {
        wake_.setEnabled(false);
        pump();
    });
    restart_.setInterval(RestartMs);
    restart_.setOnTimer([this](QObject*) {
        restart_.setEnabled(false);
        if (running_) start();
    });
}

PolledLink::~PolledLink()
{
    // Whoever listens may be going away with this link.
    blockSignals(true);
    stop();
    serial_.setOnMessage({});
    serial_.setOnError({});
}

PolledLink::Clock::time_point PolledLink::now() const
{
    return Clock::time_point(std::chrono::milliseconds(scheduler_.nowMs()));
}

void PolledLink::setInterval(unsigned ms)
{
    interval_ = std::max(1u, ms);
    poll_.setInterval(interval_);
}

PolledLink::Phase PolledLink::phase() const
{
    if (!running_) return Phase::Closed;
    if (serial_.Active()) return Phase::Polling;
    if (machine_.state() == ReconnectMachine::State::Connecting) return Phase::Opening;
    return Phase::Failed;
}

void PolledLink::start()
{
    running_ = true;
    restart_.setEnabled(false);
    if (serial_.Active()) return;
    machine_.connectStarted();
    opening_->start();
    emit changed();
}

void PolledLink::stop()
{
    const bool wasRunning = running_;
    running_ = false;
    restart_.setEnabled(false);
    poll_.setEnabled(false);
    wake_.setEnabled(false);
    round_.reset();
    opening_->abandon();
    machine_.disconnected();
    serial_.setActive(false);
    if (wasRunning) emit changed();
}

void PolledLink::opened(const DeviceOpening::Result& result)
{
    destination_ = QString::fromStdString(result.destination);
    // Each attempt's own reason: an adapter that was missing may now be busy.
    if (result.error != 0)
        fail(result.diagnosis.isEmpty() ? systemText(result.error) : result.diagnosis, result.detail);
    switch (machine_.state()) {
    case ReconnectMachine::State::Connecting:
        serial_.setActive(true);
        machine_.connectFinished();
        break;
    case ReconnectMachine::State::Waiting:
        machine_.attemptNow();
        break;
    default:
        break;
    }
    emit changed();
}

void PolledLink::follow(ReconnectMachine::State state)
{
    switch (state) {
    case ReconnectMachine::State::Connected:
        // Open is not yet answering: the failure stays until a round has an
        // answer, and what the rounds find from now on tells.
        answeredSinceOpen_ = false;
        // What was acknowledged of the last connection is not news of this one.
        alarms_.connectionOpened();
        poll_.setEnabled(true);
        startRound();
        break;
    case ReconnectMachine::State::Stopped:
        // Given up on a failure that does not end by itself: try again later.
        if (running_) restart_.setEnabled(true);
        break;
    default:
        break;
    }
    emit changed();
}

void PolledLink::received(const std::string& message)
{
    lastReplyMs_ = scheduler_.ageClockMs();
    if (const auto reply = transponder::parseReply(message)) {
        alarms_.replyDecoded(*reply);
        machine_.replyDecoded();
    }
    if (round_) {
        round_->received(message, now());
        pump();
    }
}

void PolledLink::startRound()
{
    if (round_ || !serial_.Active()) return;
    std::vector<transponder::QueryRound::Query> queries;
    for (const char letter : transponder::MessageSet::SequenceLetters)
        queries.push_back({transponder::MessageSet::Query(letter), letter});
    asked_ = static_cast<int>(queries.size());
    round_ = std::make_unique<transponder::QueryRound>(std::move(queries), timing_, now());
    roundStarted_ = std::chrono::system_clock::now();
    pump();
}

void PolledLink::pump()
{
    while (round_ && !round_->finished()) {
        const Clock::time_point at = now();
        if (const auto frame = round_->due(at)) {
            serial_.SendString(*frame); // a failure closes the port and ends the round
            continue;
        }
        const auto wake = round_->wakeAt();
        if (!wake) break;
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(*wake - at).count();
        wake_.setInterval(static_cast<unsigned>(std::max<long long>(1, wait)));
        wake_.setEnabled(true);
        return;
    }
    if (round_) finishRound();
}

void PolledLink::finishRound()
{
    wake_.setEnabled(false);
    lastRecord_ = round_->record(roundStarted_);
    round_.reset();
    lostSinceRound_ = false;
    if (lastRecord_->answered == 0) {
        fail(QStringLiteral("silent"), QStringLiteral("No reply to any query of the last round."));
        alarms_.linkLost();
    } else {
        if (serial_.Active()) {
            answeredSinceOpen_ = true;
            fail({}, {});
        }
        if (lastRecord_->unanswered.empty()) machine_.linkHeld();
    }
    emit roundFinished(*lastRecord_);
    emit changed();
}

void PolledLink::lost(int error)
{
    round_.reset();
    wake_.setEnabled(false);
    poll_.setEnabled(false);
    answeredSinceOpen_ = false;
    lostSinceRound_ = true;
    alarms_.linkLost();
    // The server's own words ("Port already in use"), where it gave any, say
    // more than the system's.
    const QString words = QString::fromStdString(platform::recalledNetworkFailure(comName(port()).toStdString(), error));
    const QString failure = QStringLiteral("lost: %1").arg(systemText(error));
    fail(words.isEmpty() ? failure : failure + QStringLiteral(" \u00b7 ") + words, {});
}

void PolledLink::writeFailed(int error)
{
    if (!serial_.Active()) return;
    if (error != ETIMEDOUT) {
        fail(QStringLiteral("error: %1").arg(systemText(error)), {});
        return;
    }
    // The device took nothing, or not all: its far end has stopped reading.
    // This round ends here; the next one finds out whether it reads again.
    round_.reset();
    wake_.setEnabled(false);
    answeredSinceOpen_ = false;
    fail(QStringLiteral("output held up"),
         QStringLiteral("The port takes no more output: whatever is at its far end has stopped reading. "
                        "Rounds are tried again each interval."));
    alarms_.linkLost();
    emit changed();
}

void PolledLink::acknowledgeAlarm()
{
    // The alarm the row shows, and only that one: the others have not been seen.
    if (const transponder::Alarm* shown = alarms_.shown()) alarms_.acknowledge(shown->kind);
    emit changed();
}

void PolledLink::fail(const QString& failure, const QString& diagnosis)
{
    failure_ = failure;
    diagnosis_ = diagnosis.isEmpty() ? failure : diagnosis;
}

} // namespace links
