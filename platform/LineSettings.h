#pragma once

#include "platform/SerialDevice.h"

#include <cstdint>

namespace platform {

// The line a device-control record asks for, in plain terms. Each device
// translates these into its own: termios on a terminal, RFC 2217 requests on a
// network port.
struct LineSettings {
    enum class Parity : std::uint8_t { None, Odd, Even, Mark, Space };
    enum class StopBits : std::uint8_t { One, OneAndAHalf, Two };

    std::uint32_t baud = 9600;
    std::uint8_t dataBits = 8; // 5..8
    Parity parity = Parity::None;
    StopBits stopBits = StopBits::One;
    bool checkParity = false;  // mark received bytes in error rather than take them as they are
    bool ctsFlow = false;      // output held while CTS is low; RTS raised while input fits
    bool dsrFlow = false;      // output held while DSR is low; DTR raised while input fits
    bool xonXoffOut = false;   // obey XOFF/XON from the other side
    bool xonXoffIn = false;    // send XOFF/XON as our input fills and drains
    char xonChar = 0x11;
    char xoffChar = 0x13;

    // Translates `record`. Returns 0, or EINVAL for a value no line has (a rate
    // of 0, a character size outside 5..8, an unknown parity or stop-bit code).
    static int from(const DeviceControl& record, LineSettings& settings);
};

} // namespace platform
