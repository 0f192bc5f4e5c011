#include "platform/TerminalLine.h"

#include "platform/ArbitraryBaud.h"

#include <algorithm>
#include <cerrno>
#include <termios.h>

namespace platform {

namespace {

speed_t standardRate(std::uint32_t baud)
{
    switch (baud) {
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    default: return B0;
    }
}

tcflag_t characterSize(std::uint8_t dataBits)
{
    switch (dataBits) {
    case 5: return CS5;
    case 6: return CS6;
    case 7: return CS7;
    default: return CS8;
    }
}

tcflag_t parityFlags(LineSettings::Parity parity)
{
    switch (parity) {
    case LineSettings::Parity::None: return 0;
    case LineSettings::Parity::Odd: return PARENB | PARODD;
    case LineSettings::Parity::Even: return PARENB;
    case LineSettings::Parity::Mark: return PARENB | CMSPAR | PARODD;
    case LineSettings::Parity::Space: return PARENB | CMSPAR;
    }
    return 0;
}

// A C library may read the line back after tcsetattr() and call it EINVAL when
// the character size or the parity enable did not stick, although the kernel
// took the call. A pty always keeps CS8 and drops PARENB, and an adapter that
// cannot do seven bits or parity does the same; the line then runs as well as it
// can, and "Invalid argument" on every opening would tell the user nothing they
// could act on. So a line that holds everything else we asked for counts as set.
// Anything else it did not take is still reported.
bool heldExceptSizeAndParity(const termios& wanted, const termios& actual)
{
    constexpr tcflag_t droppable = CSIZE | PARENB;
    return actual.c_iflag == wanted.c_iflag && actual.c_oflag == wanted.c_oflag && actual.c_lflag == wanted.c_lflag
        && (actual.c_cflag & ~droppable) == (wanted.c_cflag & ~droppable)
        && std::equal(std::begin(actual.c_cc), std::end(actual.c_cc), std::begin(wanted.c_cc));
}

} // namespace

TerminalLine TerminalLine::apply(int fd, const LineSettings& line)
{
    TerminalLine result;
    termios t {};
    if (::tcgetattr(fd, &t) != 0) {
        result.error = errno;
        return result;
    }

    ::cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;

    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    t.c_cflag |= characterSize(line.dataBits) | parityFlags(line.parity);
    // With five data bits the UART turns CSTOPB into one and a half stop bits.
    if (line.stopBits != LineSettings::StopBits::One) t.c_cflag |= CSTOPB;
    if (line.ctsFlow) t.c_cflag |= CRTSCTS;

    t.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | PARMRK | IGNPAR | ISTRIP);
    if (line.xonXoffOut) t.c_iflag |= IXON;
    if (line.xonXoffIn) t.c_iflag |= IXOFF;
    t.c_cc[VSTART] = static_cast<cc_t>(line.xonChar);
    t.c_cc[VSTOP] = static_cast<cc_t>(line.xoffChar);
    // Checked parity marks the bytes in error instead of replacing or dropping
    // them; the markers are stripped again on the way into the input queue.
    if (line.checkParity) t.c_iflag |= INPCK | PARMRK;

    const speed_t rate = standardRate(line.baud);
    if (rate != B0) {
        ::cfsetispeed(&t, rate);
        ::cfsetospeed(&t, rate);
        result.error = ::tcsetattr(fd, TCSANOW, &t) == 0 ? 0 : errno;
    } else {
        detail::RawTermios raw;
        raw.iflag = t.c_iflag;
        raw.oflag = t.c_oflag;
        raw.cflag = t.c_cflag;
        raw.lflag = t.c_lflag;
        raw.line = t.c_line;
        raw.cc = t.c_cc;
        raw.ccCount = NCCS;
        result.error = detail::applyWithArbitraryRate(fd, raw, line.baud);
    }

    // Even a refused call may have changed the line.
    termios actual {};
    const bool readBack = ::tcgetattr(fd, &actual) == 0;
    if (result.error == EINVAL && rate != B0 && readBack && heldExceptSizeAndParity(t, actual)) result.error = 0;
    result.parityMarks = ((readBack ? actual : t).c_iflag & PARMRK) != 0;
    const long actualRate = detail::outputRate(fd);
    result.baud = actualRate > 0 ? static_cast<std::uint32_t>(actualRate) : line.baud;
    return result;
}

} // namespace platform
