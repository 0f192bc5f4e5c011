#include "platform/NetworkSerialDevice.h"
#include "platform/LineSettings.h"

#include <gensio/sergensio.h>

namespace platform {

// The line of a network port: its settings and DTR and RTS sent through
// gensio's serial interface (RFC 2217), the server's notifications of its
// line and modem state taken in.

namespace {

// RFC 2217's codes for parity, stop size and flow control.
std::uint32_t parityCode(LineSettings::Parity parity)
{
    switch (parity) {
    case LineSettings::Parity::None: return SERGENSIO_PARITY_NONE;
    case LineSettings::Parity::Odd: return SERGENSIO_PARITY_ODD;
    case LineSettings::Parity::Even: return SERGENSIO_PARITY_EVEN;
    case LineSettings::Parity::Mark: return SERGENSIO_PARITY_MARK;
    case LineSettings::Parity::Space: return SERGENSIO_PARITY_SPACE;
    }
    return SERGENSIO_PARITY_NONE;
}

std::uint32_t stopSizeCode(LineSettings::StopBits stopBits)
{
    switch (stopBits) {
    case LineSettings::StopBits::One: return 1;
    case LineSettings::StopBits::Two: return 2;
    case LineSettings::StopBits::OneAndAHalf: return 3;
    }
    return 1;
}

// One flow control at a time; the component never asks for more.
std::uint32_t flowCode(const LineSettings& line)
{
    if (line.ctsFlow) return SERGENSIO_FLOWCONTROL_RTS_CTS;
    if (line.dsrFlow) return SERGENSIO_FLOWCONTROL_DSR;
    if (line.xonXoffOut || line.xonXoffIn) return SERGENSIO_FLOWCONTROL_XON_XOFF;
    return SERGENSIO_FLOWCONTROL_NONE;
}

std::uint32_t modemStatusOf(unsigned state)
{
    std::uint32_t status = 0;
    if (state & SERGENSIO_MODEMSTATE_CTS) status |= MsCtsOn;
    if (state & SERGENSIO_MODEMSTATE_DSR) status |= MsDsrOn;
    if (state & SERGENSIO_MODEMSTATE_RI) status |= MsRingOn;
    if (state & SERGENSIO_MODEMSTATE_CD) status |= MsRlsdOn;
    return status;
}

} // namespace

// The server's news of its line: a break, the modem lines, a request to hold
// or resume our output. (A PURGE-DATA from a server only answers a client's
// own, which we never send: gensio passes none on, and nothing is dropped.)
void NetworkSerialDevice::serialEvent(int event, unsigned value)
{
    if (event == GENSIO_EVENT_SER_FLOW_STATE) {
        std::lock_guard lock(writeMutex_);
        suspended_ = value != 0;
        if (!suspended_ && unsentHead_ < unsent_.size()) gensio_set_write_callback_enable(io_, true);
        return;
    }
    {
        std::lock_guard lock(mutex_);
        if (event == GENSIO_EVENT_SER_LINESTATE) {
            if (value & SERGENSIO_LINESTATE_BREAK) pendingEvents_ |= EvBreak;
        } else {
            // The state bits, and the delta bits, which also tell of a change
            // that came and went between two notifications.
            const std::uint32_t status = modemStatusOf(value);
            const std::uint32_t changed = status ^ modemStatus_;
            if ((changed & MsCtsOn) || (value & SERGENSIO_MODEMSTATE_CTS_CHANGED)) pendingEvents_ |= EvCts;
            if ((changed & MsDsrOn) || (value & SERGENSIO_MODEMSTATE_DSR_CHANGED)) pendingEvents_ |= EvDsr;
            if ((changed & MsRlsdOn) || (value & SERGENSIO_MODEMSTATE_CD_CHANGED)) pendingEvents_ |= EvRlsd;
            if (((changed & status) & MsRingOn) || (value & SERGENSIO_MODEMSTATE_RI_CHANGED)) pendingEvents_ |= EvRing;
            modemStatus_ = status;
        }
    }
    wake_.signal();
}

template <int Item>
void NetworkSerialDevice::onAnswer(sergensio*, int error, unsigned value, void* route)
{
    through(route, [error, value](NetworkSerialDevice& device) {
        {
            std::lock_guard lock(device.mutex_);
            device.answersOfLine_.answered(static_cast<LineAnswers::Item>(Item), error == 0 ? value : 0);
        }
        device.answers_.signal();
    });
}

int NetworkSerialDevice::applySettings(const DeviceControl& settings)
{
    LineSettings line;
    if (const int error = LineSettings::from(settings, line)) return error;
    if (!isOpen()) return EBADF;
    // Raw TCP has no way to tell the server: its own configuration sets the line.
    if (!serial_) return 0;

    const std::uint32_t values[LineAnswers::ItemCount] = {line.baud, line.dataBits, parityCode(line.parity),
                                                          stopSizeCode(line.stopBits), flowCode(line)};
    {
        std::lock_guard lock(mutex_);
        for (int item = 0; item < LineAnswers::ItemCount; ++item)
            answersOfLine_.asked(static_cast<LineAnswers::Item>(item), values[item]);
    }
    ConnectionWaitScope scope(*connectionWait_, peer_);
    const int r1 = sergensio_baud(serial_, values[0], onAnswer<LineAnswers::Baud>, route_.get());
    const int r2 = sergensio_datasize(serial_, values[1], onAnswer<LineAnswers::DataSize>, route_.get());
    const int r3 = sergensio_parity(serial_, values[2], onAnswer<LineAnswers::Parity>, route_.get());
    const int r4 = sergensio_stopbits(serial_, values[3], onAnswer<LineAnswers::StopSize>, route_.get());
    // DSR flow is one of gensio's inbound kinds, though RFC 2217 counts it
    // for both directions.
    const int r5 = line.dsrFlow && !line.ctsFlow
        ? sergensio_iflowcontrol(serial_, SERGENSIO_FLOWCONTROL_DSR, onAnswer<LineAnswers::Flow>, route_.get())
        : sergensio_flowcontrol(serial_, values[4], onAnswer<LineAnswers::Flow>, route_.get());
    const int requested = r1 | r2 | r3 | r4 | r5;
    if (requested != 0) return fail(gone_ ? ECONNRESET : EIO, "the line settings did not go out");
    const int error = awaitAnswer(Clock::now() + AnswerLimit, [this] { return answersOfLine_.complete() || gone_; });
    if (error == ETIMEDOUT) return fail(error, "the server did not answer the line settings");
    if (error == 0 && gone_) return fail(ECONNRESET, "the connection failed while the line was set");
    if (error != 0) return fail(error, "the connection failed while the line was set");
    std::string refusals;
    {
        std::lock_guard lock(mutex_);
        refusals = answersOfLine_.refusals();
    }
    if (!refusals.empty()) return fail(EINVAL, "the server set " + refusals);
    std::lock_guard lock(mutex_);
    diagnosis_.clear();
    return 0;
}

int NetworkSerialDevice::modemStatus(std::uint32_t& status)
{
    status = 0;
    if (!isOpen()) return EBADF;
    // Raw TCP tells nothing of the lines: all read as low.
    std::lock_guard lock(mutex_);
    status = modemStatus_;
    return 0;
}

int NetworkSerialDevice::setControlLine(ControlLine line, bool on)
{
    if (!isOpen()) return EBADF;
    // Raw TCP has no way to tell the server: its device keeps its lines. The
    // answer is not awaited: a server whose device has no such line (a
    // pseudo-terminal) sends none.
    if (!serial_) return 0;
    const int error = line == ControlLine::Dtr
        ? sergensio_dtr(serial_, on ? SERGENSIO_DTR_ON : SERGENSIO_DTR_OFF, nullptr, nullptr)
        : sergensio_rts(serial_, on ? SERGENSIO_RTS_ON : SERGENSIO_RTS_OFF, nullptr, nullptr);
    if (error != 0) return gone_ ? ECONNRESET : EIO;
    return 0;
}

} // namespace platform
