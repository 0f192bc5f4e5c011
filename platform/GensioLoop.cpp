#include "platform/GensioLoop.h"

#include <gensio/gensio.h>
#include <gensio/gensio_os_funcs.h>

#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <pthread.h>
#include <system_error>

namespace platform {

namespace {

constexpr int WakeSignal = SIGUSR1;

void ignoreWake(int) {}

// A signal that arrives while a thread is not waiting in gensio is taken by
// a handler that does nothing, rather than ending the process.
void installWakeHandler()
{
    struct sigaction current {};
    if (::sigaction(WakeSignal, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) {
        struct sigaction action {};
        action.sa_handler = ignoreWake;
        sigemptyset(&action.sa_mask);
        ::sigaction(WakeSignal, &action, nullptr);
    }
}

} // namespace

GensioLoop& GensioLoop::instance()
{
    static GensioLoop loop;
    return loop;
}

GensioLoop::GensioLoop()
{
    installWakeHandler();
    if (gensio_default_os_hnd(WakeSignal, &funcs_) != 0) {
        funcs_ = nullptr;
        return;
    }
    // gensio tells why a TLS handshake failed (OpenSSL's reason) as an
    // error or a note; the rest is for gensio's own debugging.
    gensio_set_log_mask(1 << GENSIO_LOG_FATAL | 1 << GENSIO_LOG_ERR | 1 << GENSIO_LOG_WARNING | 1 << GENSIO_LOG_INFO);
    gensio_os_funcs_set_vlog(funcs_, [](gensio_os_funcs*, gensio_log_levels, const char* format, va_list arguments) {
        char line[512];
        std::vsnprintf(line, sizeof line, format, arguments);
        log(line);
    });
    stopping_ = gensio_os_funcs_alloc_waiter(funcs_);
    if (!stopping_) {
        funcs_ = nullptr;
        return;
    }
}

void GensioLoop::startThread()
{
    thread_ = std::thread([this] {
        pthread_setname_np(pthread_self(), "gensio loop");
        sigset_t wake;
        sigemptyset(&wake);
        sigaddset(&wake, WakeSignal);
        pthread_sigmask(SIG_BLOCK, &wake, nullptr);
        gensio_os_funcs_wait(funcs_, stopping_, 1, nullptr);
    });
}

bool GensioLoop::use()
{
    GensioLoop& loop = instance();
    std::lock_guard lock(loop.usersMutex_);
    if (!loop.funcs_) return false;
    if (loop.users_ == 0) {
        try {
            loop.startThread();
        } catch (const std::system_error&) {
            return false;
        }
    }
    ++loop.users_;
    return true;
}

void GensioLoop::stopUsing()
{
    GensioLoop& loop = instance();
    std::lock_guard lock(loop.usersMutex_);
    if (--loop.users_ > 0 || !loop.thread_.joinable()) return;
    gensio_os_funcs_wake(loop.funcs_, loop.stopping_);
    loop.thread_.join();
}

GensioLoop::~GensioLoop()
{
    if (!thread_.joinable()) return;
    gensio_os_funcs_wake(funcs_, stopping_);
    thread_.join();
}

gensio_os_funcs* GensioLoop::funcs()
{
    return instance().funcs_;
}

void GensioLoop::listen(Listener& listener)
{
    GensioLoop& loop = instance();
    std::lock_guard lock(loop.mutex_);
    loop.listeners_.insert(&listener);
}

void GensioLoop::stopListening(Listener& listener)
{
    GensioLoop& loop = instance();
    std::lock_guard lock(loop.mutex_);
    loop.listeners_.erase(&listener);
}

void GensioLoop::log(const std::string& line)
{
    GensioLoop& loop = instance();
    std::lock_guard lock(loop.mutex_);
    for (Listener* listener : loop.listeners_) listener->logged(line);
}

} // namespace platform
