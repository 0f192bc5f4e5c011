#include "platform/ArbitraryBaud.h"

#include <asm/termbits.h>
#include <cerrno>
#include <sys/ioctl.h>

namespace platform::detail {

int applyWithArbitraryRate(int fd, const RawTermios& settings, std::uint32_t baud)
{
    struct termios2 t {};
    t.c_iflag = settings.iflag;
    t.c_oflag = settings.oflag;
    t.c_cflag = (settings.cflag & ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT))) | BOTHER;
    t.c_lflag = settings.lflag;
    t.c_line = settings.line;
    for (std::size_t i = 0; i < NCCS && i < settings.ccCount; ++i) t.c_cc[i] = settings.cc[i];
    t.c_ispeed = baud;
    t.c_ospeed = baud;
    return ::ioctl(fd, TCSETS2, &t) == 0 ? 0 : errno;
}

long outputRate(int fd)
{
    struct termios2 t {};
    if (::ioctl(fd, TCGETS2, &t) != 0) return -1;
    return static_cast<long>(t.c_ospeed);
}

} // namespace platform::detail
