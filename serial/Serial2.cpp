#include "serial/Serial2.h"

#include "framework/Application.h"
#include "framework/MessageBoxes.h"
#include "platform/ComPortDevice.h"

#include <QString>
#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace {

constexpr std::array<int, 11> ValidRates = {300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 57600, 115200};

// How long closing waits for the event thread to leave the port before it goes
// on regardless. The thread is released and its pending hand-offs withdrawn, so
// in practice it leaves within a few milliseconds.
constexpr std::chrono::milliseconds LeaveLimit{7500};

std::shared_ptr<platform::SerialDevice> makeComPortDevice()
{
    return std::make_shared<platform::ComPortDevice>();
}

} // namespace

TSerial::TSerial(QObject* Owner)
    : TSerial(Owner, makeComPortDevice)
{
}

TSerial::TSerial(QObject* Owner, DeviceFactory factory)
    : QObject(Owner)
    , factory_(std::move(factory))
    , eventThread_(std::make_unique<TEventThread>(static_cast<SerialEventPort&>(*this)))
{
}

TSerial::~TSerial()
{
    setActive(false);
    // Termination is asked for before the thread is told to stop waiting for a
    // session: from then on it is given none, and it must see at once that it is
    // to end rather than ask again and again.
    eventThread_->Terminate();
    {
        std::lock_guard lock(sessionMutex_);
        stopping_ = true;
    }
    sessionChanged_.notify_all();
    eventThread_->Stop();
}

void TSerial::setPort(sPorts value)
{
    if (value == port_) return;
    port_ = value;
    reopenIfOpen();
}

void TSerial::setBaudrate(int value)
{
    if (std::find(ValidRates.begin(), ValidRates.end(), value) == ValidRates.end()) {
        fw::MessageBox(QStringLiteral("Baudrate is not valid"), QStringLiteral("Error"), fw::MsgButtons::Ok,
                       fw::MsgIcon::Error);
        return;
    }
    if (value == baudrate_) return;
    baudrate_ = value;
    reopenIfOpen();
}

void TSerial::setParity(eParity value)
{
    if (value == parity_) return;
    parity_ = value;
    reopenIfOpen();
}

void TSerial::setDataBits(eDataBits value)
{
    if (value == dataBits_) return;
    dataBits_ = value;
    reopenIfOpen();
}

void TSerial::setStopBits(eStopBits value)
{
    if (value == stopBits_) return;
    stopBits_ = value;
    reopenIfOpen();
}

// The queue sizes reopen even when unchanged: writing one is how a caller asks
// for the queues to be set up again.
void TSerial::setRxQueueSize(std::uint16_t value)
{
    rxQueueSize_ = value;
    reopenIfOpen();
}

void TSerial::setTxQueueSize(std::uint16_t value)
{
    txQueueSize_ = value;
    reopenIfOpen();
}

void TSerial::setFlowMode(eFlowControl value)
{
    if (value == flowMode_) return;
    flowMode_ = value;
    reopenIfOpen();
}

void TSerial::setCheckParity(bool value)
{
    if (value == checkParity_) return;
    checkParity_ = value;
    reopenIfOpen();
}

void TSerial::addTap(SerialTap* tap)
{
    taps_.push_back(tap);
    hasTaps_ = true;
}

void TSerial::removeTap(SerialTap* tap)
{
    for (SerialTap*& entry : taps_)
        if (entry == tap) entry = nullptr;
    if (tellingTaps_ == 0) std::erase(taps_, nullptr);
    hasTaps_ = std::any_of(taps_.begin(), taps_.end(), [](SerialTap* t) { return t != nullptr; });
}

// Each tap is told through the handler wrapper: a tap that throws has its
// failure shown and keeps neither the other taps nor the component's own
// handler from their turn.
void TSerial::tellTaps(const std::function<void(SerialTap&)>& tell)
{
    ++tellingTaps_;
    for (std::size_t i = 0; i < taps_.size(); ++i)
        if (SerialTap* tap = taps_[i]) fw::invokeHandler([&] { tell(*tap); });
    if (--tellingTaps_ == 0) std::erase(taps_, nullptr);
}

void TSerial::setOnMessage(TRxMessageEvent handler)
{
    hasOnMessage_ = static_cast<bool>(handler);
    onMessage_ = std::move(handler);
}

int TSerial::RxWaiting()
{
    if (!Active()) return 0;
    UpdateStatus();
    return static_cast<int>(portStatus_.cbInQue);
}

int TSerial::TxWaiting()
{
    if (!Active()) return 0;
    UpdateStatus();
    return static_cast<int>(portStatus_.cbOutQue);
}

void TSerial::setActive(bool value)
{
    if (Active()) closePort(true);
    if (value) openPort();
}

int TSerial::PendingHandOffs() const
{
    return eventThread_->PendingHandOffs();
}

void TSerial::openPort()
{
    if (const int error = openDevice(false)) ReportError(error);
}

int TSerial::tryOpen()
{
    if (Active()) return 0;
    return openDevice(true);
}

int TSerial::openDevice(bool automatic)
{
    auto device = factory_();
    settingsError_ = 0;
    const int error = device->open("COM" + std::to_string(unsigned{port_}));
    if (error != 0) return error;
    // The event thread is out of every session while the port is closed, so
    // the assembler is ours to clear.
    if (automatic) assembler_ = MessageAssembler();
    if (const int e = device->setupQueues(rxQueueSize_, txQueueSize_)) {
        settingsError_ = e;
        if (automatic) {
            device->close();
            return e;
        }
        ReportError(e);
    }
    {
        std::lock_guard lock(sessionMutex_);
        device_ = std::move(device);
        ++session_;
        open_ = true;
    }
    buildSettings();
    if (const int e = applyToDevice(!automatic); e != 0 && settingsError_ == 0) settingsError_ = e;
    if (automatic && settingsError_ != 0) {
        closePort(false);
        return settingsError_;
    }
    SetControlLine(1, true);
    SetControlLine(0, true);
    StartEvents();
    return 0;
}

void TSerial::closePort(bool reportFailures)
{
    const auto device = device_;
    const auto check = [&](int error) {
        if (error != 0 && reportFailures) ReportError(error);
    };
    check(device->abort());
    device->setControlLine(platform::ControlLine::Dtr, false);
    device->setControlLine(platform::ControlLine::Rts, false);
    {
        std::lock_guard lock(sessionMutex_);
        open_ = false;
        armed_ = false;
    }
    check(device->release());
    // Closing from inside one of the thread's own hand-offs: the thread is
    // blocked until we return, so it is off the device now, and it finds the
    // session stale when it resumes. Waiting for it here would wait forever.
    if (!eventThread_->servingHandOff()) waitForEventThreadToLeave();
    {
        std::lock_guard lock(sessionMutex_);
        device_.reset();
    }
    check(device->close());
}

void TSerial::waitForEventThreadToLeave()
{
    const auto deadline = std::chrono::steady_clock::now() + LeaveLimit;
    std::unique_lock lock(sessionMutex_);
    while (threadWaiting_ && std::chrono::steady_clock::now() < deadline) {
        // The thread may be blocked handing an event to us, who do not serve it
        // while we wait here: withdraw that call, and any it makes before it
        // notices the port is closed.
        lock.unlock();
        eventThread_->withdrawPendingHandOffs();
        lock.lock();
        sessionChanged_.wait_for(lock, std::chrono::milliseconds(5), [this] { return !threadWaiting_; });
    }
}

// A failure of the event thread's wait or read, or a write that finds the
// device gone: the device has gone or cannot be waited on. It is reported once
// and the port closed, rather than reported again on every pass.
void TSerial::sessionFailed(std::uint64_t session, int error)
{
    if (!isCurrent(session)) return; // the port was closed meanwhile: not a failure
    closePort(false);
    emit portFailed(error);
    if (reportLosses_ && notifyErrors_ == neDialog) {
        // The box can be taken away again (withdrawLossReport) while it is up.
        lossReport_ = errorText(error);
        ReportError(error);
        lossReport_.clear();
    } else if (reportLosses_) {
        ReportError(error);
    } else {
        errorCode_ = error;
    }
    emit portLost(error);
}

SerialEventPort::Device TSerial::takeSession(std::uint64_t& session)
{
    std::unique_lock lock(sessionMutex_);
    if (!(open_ && armed_)) {
        if (threadWaiting_) {
            threadWaiting_ = false;
            sessionChanged_.notify_all();
        }
        // Sleeps until StartEvents arms an opening or the destructor asks the
        // thread to end: a closed port costs no wake-ups.
        sessionChanged_.wait(lock, [this] { return (open_ && armed_) || stopping_; });
        if (!(open_ && armed_) || stopping_) return nullptr;
    }
    threadWaiting_ = true;
    session = session_.load();
    return device_;
}

void TSerial::leaveSessions()
{
    std::lock_guard lock(sessionMutex_);
    threadWaiting_ = false;
    sessionChanged_.notify_all();
}

bool TSerial::readSignal(platform::SerialDevice& device, eModemInSignal signal)
{
    struct Line {
        std::atomic<bool> TSerial::*state;
        std::uint32_t bit;
    };
    static constexpr Line lines[] = {
        {&TSerial::ctsState_, platform::MsCtsOn},
        {&TSerial::dsrState_, platform::MsDsrOn},
        {&TSerial::dcdState_, platform::MsRlsdOn},
    };
    const Line& line = lines[signal];
    std::uint32_t status = 0;
    if (device.modemStatus(status) == 0) (this->*line.state) = (status & line.bit) != 0;
    return (this->*line.state).load();
}

void TSerial::lineEvent(std::uint32_t event)
{
    switch (event) {
    case platform::EvSentLate:
        tellSent();
        break;
    case platform::EvTxEmpty:
        if (onTxEmpty_) onTxEmpty_(this);
        break;
    case platform::EvBreak:
        if (onBreak_) onBreak_(this);
        break;
    case platform::EvRing:
        if (onRing_) onRing_(this);
        break;
    case platform::EvRxChar:
        if (onRxData_) onRxData_(this);
        break;
    default:
        break;
    }
}

void TSerial::signalChanged(eModemInSignal signal, bool state)
{
    if (onSignalChange_) onSignalChange_(this, signal, state);
}

void TSerial::messageArrived(const std::string& message)
{
    tellTaps([&](SerialTap& tap) { tap.received(message); });
    if (onMessage_) onMessage_(this, message);
}

void TSerial::bytesDropped(const std::string& bytes)
{
    tellTaps([&](SerialTap& tap) { tap.dropped(bytes); });
}

MessageAssembler::Settings TSerial::messageSettings() const
{
    MessageAssembler::Settings settings;
    settings.startChar = messageStartChar_.load();
    settings.endChar = messageEndChar_.load();
    settings.appendCount = messageAppendCount_.load();
    return settings;
}

void TSerial::SendString(const std::string& Text)
{
    // A closed port has no device: say so at once rather than pretend.
    if (!Active()) {
        ReportError(EBADF);
        return;
    }
    std::size_t taken = 0;
    const int error = device_->write(Text.data(), Text.size(), writeLimitMs_, taken);
    // The taps hear what went out, which after a time-out is less than Text,
    // or more when an earlier write's rest went first.
    tellSent();
    if (error == 0) return;
    // A device that has gone is the event thread's news too: take the same way,
    // which closes the port and reports it once, so that the thread's own report
    // finds the session over and is dropped.
    if (platform::isGoneError(error)) sessionFailed(session_.load(), error);
    else ReportError(error);
}

void TSerial::tellSent()
{
    if (!Active()) return;
    std::string bytes;
    device_->takeSent(bytes);
    if (!bytes.empty()) tellTaps([&](SerialTap& tap) { tap.sent(bytes); });
}

int TSerial::ReadByte(std::uint8_t& Value)
{
    if (!Active()) {
        ReportError(EBADF);
        return 0;
    }
    char byte = 0;
    std::size_t count = 0;
    if (const int error = device_->read(&byte, 1, count)) {
        ReportError(error);
        return 0;
    }
    if (count == 1) Value = static_cast<std::uint8_t>(byte);
    return static_cast<int>(count);
}

void TSerial::SetControlLine(int Line, bool On)
{
    if (!Active() || (Line != 0 && Line != 1)) return;
    device_->setControlLine(Line == 0 ? platform::ControlLine::Rts : platform::ControlLine::Dtr, On);
}

void TSerial::UpdateStatus()
{
    if (!Active()) return;
    if (const int error = device_->queueCounts(portStatus_)) ReportError(error);
}

void TSerial::ApplySettings()
{
    buildSettings();
    if (Active()) applyToDevice(true);
}

void TSerial::buildSettings()
{
    platform::DeviceControl settings;
    settings.DCBlength = 28;
    settings.BaudRate = static_cast<std::uint32_t>(baudrate_);
    settings.fBinary = true;
    settings.fParity = checkParity_;
    if (flowMode_ == fcRTS_CTS) {
        settings.fOutxCtsFlow = true;
        settings.fRtsControl = platform::LineHandshake;
    }
    if (flowMode_ == fcDTR_DSR) {
        settings.fOutxDsrFlow = true;
        settings.fDtrControl = platform::LineHandshake;
    }
    if (flowMode_ == fcXON_XOF) {
        settings.fOutX = true;
        settings.fInX = true;
    }
    settings.XonLim = static_cast<std::uint16_t>(rxQueueSize_ / 3);
    settings.XoffLim = static_cast<std::uint16_t>(rxQueueSize_ / 3);
    settings.ByteSize = dataBits_ == d7bit ? 7 : 8;
    settings.Parity = static_cast<std::uint8_t>(parity_);
    settings.StopBits = stopBits_ == st1bit ? platform::OneStopBit : platform::TwoStopBits;
    settings.XonChar = '\x11';
    settings.XoffChar = '\x13';
    settings.ErrorChar = '?';
    portSettings_ = settings;
}

int TSerial::applyToDevice(bool report)
{
    if (!Active()) return EBADF;
    int first = 0;
    const auto check = [&](int error) {
        if (error == 0) return;
        if (first == 0) first = error;
        if (report) ReportError(error);
    };
    check(device_->applySettings(portSettings_));
    portTimeouts_.ReadIntervalTimeout = 0xFFFFFFFF;
    portTimeouts_.ReadTotalTimeoutMultiplier = 0;
    portTimeouts_.ReadTotalTimeoutConstant = 0;
    if (flowMode_ != fcNone) {
        portTimeouts_.WriteTotalTimeoutMultiplier = 0;
        portTimeouts_.WriteTotalTimeoutConstant = 10000;
    }
    check(device_->setTimeouts(portTimeouts_));
    return first;
}

void TSerial::StartEvents()
{
    const int error = Active() ? device_->setEventMask(EventMask) : EBADF;
    if (error != 0) ReportError(error);
    if (Active()) {
        std::lock_guard lock(sessionMutex_);
        armed_ = true;
    }
    sessionChanged_.notify_all();
    eventThread_->Resume();
}

void TSerial::ReportError(int code)
{
    errorCode_ = code;
    switch (notifyErrors_) {
    case neDialog:
        ShowError(code);
        break;
    case neEvent:
        if (onError_) fw::invokeHandler([this] { onError_(this); });
        break;
    case neNone:
        break;
    }
}

QString TSerial::errorText(int code)
{
    char buffer[256];
    std::string text = ::strerror_r(code, buffer, sizeof buffer);
    while (!text.empty()) {
        const unsigned char last = static_cast<unsigned char>(text.back());
        if (last >= 32 && last != ' ' && last != '.') break;
        text.pop_back();
    }
    return QString::fromLocal8Bit(text);
}

void TSerial::ShowError(int code)
{
    fw::MessageBox(errorText(code), QStringLiteral("Error"), fw::MsgButtons::Ok, fw::MsgIcon::Error);
}

void TSerial::withdrawLossReport()
{
    if (!lossReport_.isEmpty()) fw::CloseMessageBox(lossReport_);
}
