#pragma once

#include <cstddef>
#include <cstdint>

// The kernel's interface for line rates that have no Bxxx constant (14400 bit/s
// among ours). It lives in its own file because its header declares a struct
// termios of its own, which clashes with the C library's.
namespace platform::detail {

struct RawTermios {
    std::uint32_t iflag = 0;
    std::uint32_t oflag = 0;
    std::uint32_t cflag = 0;
    std::uint32_t lflag = 0;
    std::uint8_t line = 0;
    const std::uint8_t* cc = nullptr; // control characters, indexed as in <termios.h>
    std::size_t ccCount = 0;
};

// Applies `settings` with the rate `baud` in one call. Returns 0 or errno.
int applyWithArbitraryRate(int fd, const RawTermios& settings, std::uint32_t baud);

// The output rate of the device in bit/s, whatever way it was set; -1 on failure.
long outputRate(int fd);

} // namespace platform::detail
