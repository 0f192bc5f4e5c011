#include "platform/ComPortClient.h"

#include "platform/TelnetCodec.h"

#include <algorithm>

namespace platform {

namespace {

// RFC 2217's codes for parity and stop size.
std::uint32_t parityCode(LineSettings::Parity parity)
{
    switch (parity) {
    case LineSettings::Parity::None: return 1;
    case LineSettings::Parity::Odd: return 2;
    case LineSettings::Parity::Even: return 3;
    case LineSettings::Parity::Mark: return 4;
    case LineSettings::Parity::Space: return 5;
    }
    return 1;
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

// RFC 2217 has one outbound flow control at a time; the component never asks
// for more than one.
std::uint32_t flowCode(const LineSettings& line)
{
    if (line.ctsFlow) return ComPortClient::HardwareFlowControl;
    if (line.dsrFlow) return ComPortClient::DsrFlowControl;
    if (line.xonXoffOut || line.xonXoffIn) return ComPortClient::XonXoffFlowControl;
    return ComPortClient::NoFlowControl;
}

std::string describe(int item, std::uint32_t value)
{
    static const char* const parities[] = {"?", "no parity", "odd parity", "even parity", "mark parity", "space parity"};
    static const char* const stopSizes[] = {"?", "1 stop bit", "2 stop bits", "1.5 stop bits"};
    switch (item) {
    case 0: return std::to_string(value) + " bit/s";
    case 1: return std::to_string(value) + " data bits";
    case 2: return value <= 5 ? parities[value] : "parity code " + std::to_string(value);
    case 3: return value <= 3 ? stopSizes[value] : "stop size code " + std::to_string(value);
    default: return "flow control code " + std::to_string(value);
    }
}

} // namespace

std::string ComPortClient::request(Item item, Command command, std::uint32_t value, std::size_t width)
{
    Request& r = requests_[item];
    r.asked = value;
    r.sent = true;
    ++r.outstanding;
    std::string payload(1, static_cast<char>(command));
    for (std::size_t i = width; i-- > 0;) payload += static_cast<char>((value >> (8 * i)) & 0xFF);
    return TelnetCodec::subnegotiation(TelnetCodec::ComPort, payload);
}

std::string ComPortClient::requestLine(const LineSettings& line)
{
    return request(Baud, SetBaudRate, line.baud, 4) + request(DataSize, SetDataSize, line.dataBits, 1)
        + request(Parity, SetParity, parityCode(line.parity), 1)
        + request(StopSize, SetStopSize, stopSizeCode(line.stopBits), 1)
        + request(Flow, SetControl, flowCode(line), 1);
}

std::string ComPortClient::requestControlLine(bool dtr, bool on)
{
    const auto value = static_cast<char>(dtr ? (on ? DtrOn : DtrOff) : (on ? RtsOn : RtsOff));
    return TelnetCodec::subnegotiation(TelnetCodec::ComPort, std::string{static_cast<char>(SetControl), value});
}

void ComPortClient::receive(std::string_view payload)
{
    if (payload.empty()) return;
    const auto command = static_cast<std::uint8_t>(payload[0]);
    std::uint32_t value = 0;
    for (char c : payload.substr(1, 4)) value = value << 8 | static_cast<std::uint8_t>(c);
    const bool oneByte = payload.size() == 2;
    switch (command) {
    case ServerOffset + SetBaudRate:
        if (payload.size() == 5) answer(Baud, value);
        break;
    case ServerOffset + SetDataSize:
        if (oneByte) answer(DataSize, value);
        break;
    case ServerOffset + SetParity:
        if (oneByte) answer(Parity, value);
        break;
    case ServerOffset + SetStopSize:
        if (oneByte) answer(StopSize, value);
        break;
    case ServerOffset + SetControl:
        // The same command answers break (4..6), DTR (7..9) and RTS (10..12);
        // anything else answers our flow request (a server may answer it with
        // a code of inbound flow control, which we never ask for).
        if (oneByte && !(value >= 4 && value <= 12)) answer(Flow, value);
        break;
    case ServerOffset + NotifyLineState:
        if (oneByte && (value & 0x10)) events_ |= EvBreak;
        break;
    case ServerOffset + NotifyModemState: {
        if (!oneByte) break;
        // The state bits, and the delta bits, which also tell of a change
        // that came and went between two notifications.
        std::uint32_t status = 0;
        if (value & 0x10) status |= MsCtsOn;
        if (value & 0x20) status |= MsDsrOn;
        if (value & 0x40) status |= MsRingOn;
        if (value & 0x80) status |= MsRlsdOn;
        const std::uint32_t changed = status ^ modemStatus_;
        if ((changed & MsCtsOn) || (value & 0x01)) events_ |= EvCts;
        if ((changed & MsDsrOn) || (value & 0x02)) events_ |= EvDsr;
        if ((changed & MsRlsdOn) || (value & 0x08)) events_ |= EvRlsd;
        if (((changed & status) & MsRingOn) || (value & 0x04)) events_ |= EvRing;
        modemStatus_ = status;
        break;
    }
    default:
        break;
    }
}

void ComPortClient::answer(Item item, std::uint32_t value)
{
    Request& r = requests_[item];
    if (r.outstanding == 0) return; // not asked for: nothing to check it against
    --r.outstanding;
    r.answered = value;
}

bool ComPortClient::lineAnswered() const
{
    return std::all_of(requests_.begin(), requests_.end(), [](const Request& r) { return r.outstanding == 0; });
}

std::string ComPortClient::lineRefusals() const
{
    std::string refusals;
    for (int item = 0; item < ItemCount; ++item) {
        const Request& r = requests_[item];
        if (!r.sent || r.outstanding > 0 || r.answered == r.asked) continue;
        if (!refusals.empty()) refusals += ", ";
        refusals += describe(item, r.answered) + " instead of " + describe(item, r.asked);
    }
    return refusals;
}

std::uint32_t ComPortClient::takeEvents()
{
    const std::uint32_t events = events_;
    events_ = 0;
    return events;
}

} // namespace platform
