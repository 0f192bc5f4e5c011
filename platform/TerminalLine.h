#pragma once

#include "platform/LineSettings.h"

#include <cstdint>

namespace platform {

// The line settings applied to a terminal device, and what the line holds
// afterwards. The device keeps what the line really does, not what was asked:
// received bytes are decoded by the marking it really does, and output timing
// follows the rate it really runs at.
struct TerminalLine {
    int error = 0;             // 0 or the errno of applying them
    bool parityMarks = false;  // bytes in error arrive marked (PARMRK)
    std::uint32_t baud = 0;    // the output rate in bit/s

    // Raw mode with the character size, parity, stop bits, flow control and
    // parity check of `line`, in one call: tcsetattr() with a Bxxx rate, or the
    // kernel's arbitrary-rate call for a rate without one.
    static TerminalLine apply(int fd, const LineSettings& line);
};

} // namespace platform
