#include "links/PolledLink.h"

#include "links/PreparedDevice.h"
#include "platform/NetworkAddress.h"
#include "platform/OpenDiagnosis.h"
#include "platform/PortDirectoryOnly.h"
#include "platform/PortNames.h"
#include "transponder/MessageSet.h"
#include "transponder/ReplyParser.h"

#include <QThreadPool>
#include <algorithm>
#include <filesystem>
#include <mutex>

namespace links {

namespace {

// The openings of every link: one thread each while it waits, so that a host
// that never answers holds up no other link's opening.
QThreadPool& openingThreads()
{
    static QThreadPool* pool = [] {
        auto* threads = new QThreadPool;
        threads->setMaxThreadCount(1024);
        return threads;
    }();
    return *pool;
}

// The line as the panel sets it for the transponder, and the component's
// time-outs for a port without flow control.
PreparedDevice::Setup setupOf(TSerial& serial)
{
    serial.ApplySettings(); // on a closed port it only builds the record
    PreparedDevice::Setup setup;
    setup.inQueue = serial.RxQueueSize();
    setup.outQueue = serial.TxQueueSize();
    setup.line = serial.PortSettings();
    setup.timeouts.ReadIntervalTimeout = 0xFFFFFFFF;
    return setup;
}

std::string destinationOf(const std::string& comName)
{
    const platform::PortDirectoryOnly directoryOnly;
    const std::string path = platform::resolvePortName(comName);
    if (!path.empty() && platform::isNetworkEntry(path)) {
        platform::NetworkAddress address;
        std::string problem;
        if (platform::readNetworkEntry(path, address, problem) == 0) return address.url();
    }
    std::error_code error;
    const auto device = std::filesystem::weakly_canonical(path, error);
    return error || path.empty() ? path : device.string();
}

QString systemText(int error)
{
    return QString::fromLocal8Bit(platform::systemText(error).c_str());
}

} // namespace

// One opening on its thread; the link drops it by setting `abandoned`.
struct PolledLink::Opening {
    std::mutex mutex;
    bool abandoned = false;
    std::shared_ptr<PreparedDevice> device = std::make_shared<PreparedDevice>();
    int error = 0;
    std::string destination;
};

PolledLink::PolledLink(sPorts port, QObject* parent, fw::TimerScheduler& scheduler)
    : QObject(parent)
    , scheduler_(scheduler)
    , serial_(nullptr, [this] { return takeDevice(); })
    , machine_(serial_)
    , poll_(nullptr, scheduler)
    , wake_(nullptr, scheduler)
    , restart_(nullptr, scheduler)
    , alarms_([this](const transponder::Alarm& alarm) { emit alarmChanged(alarm); })
{
    serial_.setPort(port);
    serial_.setDataBits(d8bit);
    serial_.setRxEventMode(rxMessage);
    serial_.setNotifyErrors(neEvent);
    serial_.setOnMessage([this](QObject*, const std::string& message) { received(message); });
    serial_.setOnError([this](QObject*) {
        if (serial_.Active()) fail(QStringLiteral("error: %1").arg(systemText(serial_.ErrorCode())), {});
    });
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
    startOpening();
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
    abandonOpening();
    ready_.reset();
    machine_.disconnected();
    serial_.setActive(false);
    if (wasRunning) emit changed();
}

std::shared_ptr<platform::SerialDevice> PolledLink::takeDevice()
{
    if (ready_) return std::exchange(ready_, nullptr);
    // An attempt of the reconnect machine: it is made on the opening thread,
    // and this one counts as still under way.
    startOpening();
    return PreparedDevice::pending();
}

void PolledLink::startOpening()
{
    if (opening_) return;
    auto opening = std::make_shared<Opening>();
    opening_ = opening;
    const std::string name = "COM" + std::to_string(unsigned{serial_.Port()});
    const PreparedDevice::Setup setup = setupOf(serial_);
    openingThreads().start([this, opening, name, setup] {
        const int error = opening->device->prepare(name, setup);
        const std::string destination = destinationOf(name);
        const std::lock_guard lock(opening->mutex);
        if (opening->abandoned) return;
        opening->error = error;
        opening->destination = destination;
        QMetaObject::invokeMethod(this, [this, opening] { opened(opening); }, Qt::QueuedConnection);
    });
}

void PolledLink::abandonOpening()
{
    if (!opening_) return;
    const std::lock_guard lock(opening_->mutex);
    opening_->abandoned = true;
    opening_.reset();
}

void PolledLink::opened(const std::shared_ptr<Opening>& opening)
{
    if (opening != opening_) return;
    opening_.reset();
    destination_ = QString::fromStdString(opening->destination);
    if (opening->error != 0) {
        const QString summary = QString::fromStdString(opening->device->diagnosis());
        const QString detail = QString::fromStdString(opening->device->diagnosisDetail());
        fail(summary.isEmpty() ? systemText(opening->error) : summary, detail);
    }
    ready_ = opening->device;
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
    ready_.reset();
    emit changed();
}

void PolledLink::follow(ReconnectMachine::State state)
{
    switch (state) {
    case ReconnectMachine::State::Connected:
        fail({}, {}); // what the rounds find from now on tells
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
    lastReplyMs_ = scheduler_.nowMs();
    if (const auto reply = transponder::parseReply(message)) alarms_.replyDecoded(*reply);
    if (round_) {
        round_->received(message, now());
        pump();
    }
}

void PolledLink::startRound()
{
    if (round_ || !serial_.Active()) return;
    // What the last round wrote has not gone out: the line takes nothing, and
    // a write now would wait for it.
    if (serial_.TxWaiting() > 0) {
        fail(QStringLiteral("output held up"),
             QStringLiteral("The port has not sent what the last round wrote; the line takes nothing."));
        alarms_.linkLost();
        emit changed();
        return;
    }
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
    if (lastRecord_->answered == 0) {
        fail(QStringLiteral("silent"), QStringLiteral("No reply to any query of the last round."));
        alarms_.linkLost();
    } else {
        if (serial_.Active()) fail({}, {});
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
    alarms_.linkLost();
    fail(QStringLiteral("lost: %1").arg(systemText(error)), {});
}

void PolledLink::fail(const QString& failure, const QString& diagnosis)
{
    failure_ = failure;
    diagnosis_ = diagnosis.isEmpty() ? failure : diagnosis;
}

} // namespace links
