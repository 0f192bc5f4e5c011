#include "platform/ModemWatch.h"

#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <pthread.h>
#include <sys/ioctl.h>

namespace platform {

namespace {

void wakeOnly(int) {}

// The lines as one comparable value: the kernel's counters where it keeps them,
// else the line states.
std::array<int, 6> snapshot(ModemLines& lines)
{
    serial_icounter_struct counts {};
    if (lines.counters(counts) == 0) return {counts.cts, counts.dsr, counts.dcd, counts.rng, counts.brk, 0};
    int bits = 0;
    lines.states(bits);
    return {0, 0, 0, 0, 0, bits};
}

} // namespace

int ModemWatch::wakeSignal()
{
    return SIGRTMIN + 3;
}

ModemWatch::ModemWatch(ModemLines& lines, std::function<void()> changed)
    : lines_(lines)
    , changed_(std::move(changed))
{
}

ModemWatch::~ModemWatch()
{
    stop();
}

void ModemWatch::start()
{
    // No SA_RESTART: the wait must come back with EINTR, not start again.
    static std::once_flag installed;
    std::call_once(installed, [] {
        struct sigaction action {};
        action.sa_handler = wakeOnly;
        sigemptyset(&action.sa_mask);
        ::sigaction(wakeSignal(), &action, nullptr);
    });
    if (thread_.joinable()) return;
    stopping_ = false;
    refused_ = false;
    {
        std::lock_guard lock(mutex_);
        running_ = true;
    }
    thread_ = std::thread([this] { run(); });
}

void ModemWatch::stop()
{
    if (!thread_.joinable()) return;
    stopping_ = true;
    // A signal that lands just before the thread enters the wait is lost, so it
    // is sent again until the thread has gone. That takes one round in practice.
    std::unique_lock lock(mutex_);
    while (running_) {
        ::pthread_kill(thread_.native_handle(), wakeSignal());
        ended_.wait_for(lock, std::chrono::milliseconds(1));
    }
    lock.unlock();
    thread_.join();
}

void ModemWatch::run()
{
    constexpr int lines = TIOCM_CTS | TIOCM_DSR | TIOCM_CD | TIOCM_RNG;
    auto seen = snapshot(lines_);
    while (!stopping_) {
        // The kernel's wait compares against the lines as they are when it begins:
        // a change since our last look is passed on before waiting again. What is
        // left unseen is a change in the instant between this look and the wait.
        const auto now = snapshot(lines_);
        if (now != seen) {
            seen = now;
            changed_();
        }
        const int error = lines_.waitForChange(lines);
        if (error == 0 || error == EINTR) continue;
        if (!stopping_) {
            refused_ = true;
            changed_();
        }
        break;
    }
    std::lock_guard lock(mutex_);
    running_ = false;
    ended_.notify_all();
}

} // namespace platform
