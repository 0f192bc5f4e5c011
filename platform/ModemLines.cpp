#include "platform/ModemLines.h"

#include <cerrno>
#include <sys/ioctl.h>

namespace platform {

int TerminalModemLines::counters(serial_icounter_struct& counts)
{
    return ::ioctl(fd_, TIOCGICOUNT, &counts) == 0 ? 0 : errno;
}

int TerminalModemLines::states(int& bits)
{
    return ::ioctl(fd_, TIOCMGET, &bits) == 0 ? 0 : errno;
}

int TerminalModemLines::waitForChange(int bits)
{
    return ::ioctl(fd_, TIOCMIWAIT, bits) == 0 ? 0 : errno;
}

} // namespace platform
