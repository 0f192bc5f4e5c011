#include "VerifyingTcsetattr.h"

#include <atomic>
#include <cerrno>
#include <dlfcn.h>
#include <termios.h>

namespace {

std::atomic<bool> verifying{false};

using TcsetattrFn = int (*)(int, int, const termios*);

int realTcsetattr(int fd, int actions, const termios* settings)
{
    static const auto real = reinterpret_cast<TcsetattrFn>(::dlsym(RTLD_NEXT, "tcsetattr"));
    return real(fd, actions, settings);
}

} // namespace

VerifyingTcsetattr::VerifyingTcsetattr()
{
    verifying = true;
}

VerifyingTcsetattr::~VerifyingTcsetattr()
{
    verifying = false;
}

// Defined in the executable, this takes the place of the C library's function
// for every caller linked into it.
extern "C" int tcsetattr(int fd, int actions, const termios* settings)
{
    const int result = realTcsetattr(fd, actions, settings);
    if (result != 0 || !verifying || actions != TCSANOW) return result;
    termios actual {};
    if (::tcgetattr(fd, &actual) != 0) return 0;
    const tcflag_t wanted = settings->c_cflag;
    const bool sizeLost = (wanted & CSIZE) != 0 && (wanted & CSIZE) != (actual.c_cflag & CSIZE);
    if ((wanted & (PARENB | CREAD)) != (actual.c_cflag & (PARENB | CREAD)) || sizeLost) {
        errno = EINVAL;
        return -1;
    }
    return 0;
}
