#include "ScriptedModem.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

class ScriptedModem::Lines : public platform::ModemLines {
public:
    explicit Lines(ScriptedModem& modem)
        : modem_(modem)
    {
    }

    int counters(serial_icounter_struct& counts) override
    {
        ++modem_.reads_;
        std::lock_guard lock(modem_.mutex_);
        counts = modem_.counters_;
        return 0;
    }

    int states(int& bits) override
    {
        ++modem_.reads_;
        std::lock_guard lock(modem_.mutex_);
        bits = modem_.states_;
        return 0;
    }

    int waitForChange(int) override
    {
        if (!modem_.canWait_) return EINVAL;
        ++modem_.waitsBegun_;
        pollfd fds {modem_.changed_[0], POLLIN, 0};
        if (::poll(&fds, 1, -1) < 0) {
            if (errno == EINTR) ++modem_.waitsInterrupted_;
            return errno;
        }
        char byte = 0;
        [[maybe_unused]] const auto taken = ::read(modem_.changed_[0], &byte, 1);
        return 0;
    }

private:
    ScriptedModem& modem_;
};

ScriptedModem::ScriptedModem(bool canWait)
    : canWait_(canWait)
{
    [[maybe_unused]] const int made = ::pipe2(changed_, O_CLOEXEC | O_NONBLOCK);
}

ScriptedModem::~ScriptedModem()
{
    ::close(changed_[0]);
    ::close(changed_[1]);
}

platform::PosixSerialDevice::ModemLinesFactory ScriptedModem::factory()
{
    return [this](int) { return std::make_unique<Lines>(*this); };
}

void ScriptedModem::setStates(int bits)
{
    {
        std::lock_guard lock(mutex_);
        const int changed = bits ^ states_;
        if (changed & TIOCM_CTS) ++counters_.cts;
        if (changed & TIOCM_DSR) ++counters_.dsr;
        if (changed & TIOCM_CD) ++counters_.dcd;
        if (changed & TIOCM_RNG) ++counters_.rng;
        states_ = bits;
    }
    const char byte = 1;
    [[maybe_unused]] const auto put = ::write(changed_[1], &byte, 1);
}
