#pragma once

#include "platform/LineSettings.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// The client side of the Telnet COM-PORT-OPTION (RFC 2217): the requests that
// set the line on the server, and the server's answers and notifications.
// Qt-free and without I/O, like the Telnet codec it rides on.
//
// The server answers each request with the value it has actually set. The
// client counts the requests of each kind that are still unanswered, so a late
// answer to an earlier request is never taken for the answer to the latest.
class ComPortClient {
public:
    enum Command : std::uint8_t {
        SetBaudRate = 1, SetDataSize = 2, SetParity = 3, SetStopSize = 4, SetControl = 5,
        NotifyLineState = 6, NotifyModemState = 7,
    };
    // Answers from the server carry the command plus this.
    static constexpr std::uint8_t ServerOffset = 100;

    // SET-CONTROL values we send.
    enum Control : std::uint8_t {
        NoFlowControl = 1, XonXoffFlowControl = 2, HardwareFlowControl = 3,
        DtrOn = 8, DtrOff = 9, RtsOn = 11, RtsOff = 12, DsrFlowControl = 19,
    };

    // The requests for the whole line: rate, character size, parity, stop bits
    // and flow control, as subnegotiations ready to send.
    std::string requestLine(const LineSettings& line);
    // DTR or RTS. The answer is not awaited: a server whose device has no such
    // line (a pseudo-terminal) sends none.
    static std::string requestControlLine(bool dtr, bool on);

    // A COM-PORT-OPTION subnegotiation from the server.
    void receive(std::string_view payload);

    // True once the server has answered every request of the last requestLine().
    bool lineAnswered() const;
    // What the server set differently from what we asked, in words ("the rate
    // 115200 bit/s instead of 14400"); empty when it took everything.
    std::string lineRefusals() const;

    // The modem lines as the server last reported them (ModemStatusFlag bits).
    std::uint32_t modemStatus() const { return modemStatus_; }
    // Events (EventFlag bits) from the notifications received since the last call.
    std::uint32_t takeEvents();

private:
    enum Item : std::uint8_t { Baud, DataSize, Parity, StopSize, Flow, ItemCount };
    struct Request {
        std::uint32_t asked = 0;
        std::uint32_t answered = 0;
        int outstanding = 0;
        bool sent = false;
    };

    std::string request(Item item, Command command, std::uint32_t value, std::size_t width);
    void answer(Item item, std::uint32_t value);

    std::array<Request, ItemCount> requests_ {};
    std::uint32_t modemStatus_ = 0;
    std::uint32_t events_ = 0;
};

} // namespace platform
