#include "tools/xpdrctl/TransponderLink.h"

#include "framework/StopSignals.h"
#include "platform/ComPortDevice.h"
#include "platform/OpenDiagnosis.h"
#include "platform/PortNames.h"
#include "serial/Serial2.h"
#include "tools/xpdrctl/PathDevice.h"

#include <QSocketNotifier>

#include <cstdio>

namespace xpdrctl {

namespace {

using Clock = transponder::QueryRound::Clock;

// A COM name's device is kept in `opened` as well, to ask what link it made.
std::unique_ptr<TSerial> makeSerial(const Invocation& invocation, std::shared_ptr<platform::SerialDevice>& opened)
{
    if (invocation.comNumber) {
        auto serial = std::make_unique<TSerial>(nullptr, [&opened] {
            opened = std::make_shared<platform::ComPortDevice>();
            return opened;
        });
        serial->setPort(static_cast<sPorts>(*invocation.comNumber));
        return serial;
    }
    const std::string path = invocation.port;
    return std::make_unique<TSerial>(nullptr, [path] { return std::make_shared<PathDevice>(path); });
}

} // namespace

TransponderLink::Reporter::Reporter(QString prefix, QEventLoop& loop)
    : StderrMessageBoxes(std::move(prefix))
    , loop_(loop)
{
}

fw::MsgResult TransponderLink::Reporter::show(const QString& text, const QString& caption, fw::MsgButtons buttons,
                                              fw::MsgIcon icon)
{
    const fw::MsgResult result = StderrMessageBoxes::show(text, caption, buttons, icon);
    loop_.quit();
    return result;
}

TransponderLink::TransponderLink(const Invocation& invocation, fw::StopSignals* stops)
    : invocation_(invocation)
    , reporter_(QStringLiteral("xpdrctl: ") + QString::fromLocal8Bit(invocation.port.c_str()), loop_)
    , serial_(makeSerial(invocation, device_))
{
    fw::setMessageBoxes(&reporter_);
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, &loop_, &QEventLoop::quit);

    serial_->setDataBits(d8bit);
    serial_->setRxEventMode(rxMessage);
    serial_->setOnMessage([this](QObject*, const std::string& message) {
        if (round_) round_->received(message, Clock::now());
        loop_.quit();
    });
    if (stops) {
        stopNotifier_ = std::make_unique<QSocketNotifier>(stops->fd(), QSocketNotifier::Read);
        QObject::connect(stopNotifier_.get(), &QSocketNotifier::activated, &loop_, [this, stops] {
            if (stops->take() != 0) stopped_ = true;
            loop_.quit();
        });
    }
}

TransponderLink::~TransponderLink()
{
    serial_.reset();
    fw::setMessageBoxes(nullptr);
}

bool TransponderLink::open()
{
    serial_->setActive(true);
    opened_ = serial_->Active();
    // The component's line says what failed; for a network port the entry and
    // the fix follow, as the panel's status bar gives them.
    if (!opened_ && invocation_.comNumber) {
        const std::string name = "COM" + std::to_string(*invocation_.comNumber);
        if (platform::isNetworkEntry(platform::resolvePortName(name)))
            std::fputs(("xpdrctl: " + platform::diagnoseOpenFailure(name, serial_->ErrorCode()).summary + "\n").c_str(),
                       stderr);
    }
    // Said, never refused: an emergency code must go out whatever the link.
    if (opened_ && device_ && device_->plainToAnotherHost())
        std::fputs(("xpdrctl: COM" + std::to_string(*invocation_.comNumber)
                    + ": warning: the link to the transponder is unencrypted and leaves this machine\n")
                       .c_str(),
                   stderr);
    return opened_;
}

bool TransponderLink::failed() const
{
    return opened_ && !serial_->Active();
}

bool TransponderLink::run(transponder::QueryRound& round)
{
    round_ = &round;
    while (!round.finished() && !stopped_ && !failed()) {
        if (const auto frame = round.due(Clock::now())) serial_->SendString(*frame);
        if (const auto wake = round.wakeAt(); wake && !failed()) waitUntil(*wake);
    }
    round_ = nullptr;
    return round.finished();
}

bool TransponderLink::pause(Millis duration)
{
    const auto until = Clock::now() + duration;
    while (Clock::now() < until && !stopped_ && !failed()) waitUntil(until);
    return !stopped_ && !failed();
}

void TransponderLink::waitUntil(Clock::time_point when)
{
    const auto left = std::chrono::ceil<Millis>(when - Clock::now());
    if (left <= Millis(0)) return;
    timer_.start(static_cast<int>(left.count()));
    loop_.exec();
    timer_.stop();
}

} // namespace xpdrctl
