#include "tools/xpdrsim/PseudoTerminal.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <system_error>
#include <termios.h>
#include <unistd.h>

namespace xpdrsim {

PseudoTerminal::PseudoTerminal()
{
    char name[PATH_MAX] = {};
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0)
        throw std::system_error(errno, std::generic_category(), "cannot open a pseudo-terminal");
    slavePath_ = name;
    fcntl(master_, F_SETFD, FD_CLOEXEC);
    fcntl(slave_, F_SETFD, FD_CLOEXEC);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    makeRaw();
}

PseudoTerminal::~PseudoTerminal()
{
    close(slave_);
    close(master_);
}

void PseudoTerminal::resetLine()
{
    ioctl(slave_, TIOCNXCL);
    makeRaw();
    tcflush(slave_, TCIFLUSH);
}

// Bytes pass unchanged both ways: no echo back to us, no line editing, no
// translation of carriage returns, no signals from control characters.
void PseudoTerminal::makeRaw()
{
    termios settings{};
    if (tcgetattr(slave_, &settings) != 0) return;
    cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    cfsetspeed(&settings, B9600);
    tcsetattr(slave_, TCSANOW, &settings);
}

} // namespace xpdrsim
