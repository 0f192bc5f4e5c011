#include "framework/StopSignals.h"

#include <cerrno>
#include <sys/signalfd.h>
#include <system_error>
#include <unistd.h>

namespace fw {

StopSignals::StopSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    sigset_t previous;
    sigprocmask(SIG_BLOCK, &set, &previous);
    // A shell starts background jobs with SIGINT ignored, and an ignored signal
    // never reaches the descriptor; "kill -INT" must still end us cleanly. SIGHUP
    // keeps its disposition, so that nohup still works.
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    fd_ = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    if (fd_ < 0) {
        const int error = errno;
        sigprocmask(SIG_SETMASK, &previous, nullptr);
        throw std::system_error(error, std::generic_category(), "cannot watch for signals");
    }
}

StopSignals::~StopSignals()
{
    close(fd_);
}

int StopSignals::take()
{
    signalfd_siginfo info{};
    if (read(fd_, &info, sizeof info) != static_cast<ssize_t>(sizeof info)) return 0;
    return static_cast<int>(info.ssi_signo);
}

} // namespace fw
