#include "Thread.h"

#include "Application.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace fw {

TThread::TThread() = default;

TThread::~TThread()
{
    Stop();
}

void TThread::Resume()
{
    std::lock_guard lock(mutex_);
    suspended_ = false;
    if (!started_) {
        started_ = true;
        thread_ = std::thread([this] { run(); });
    }
    wake_.notify_all();
}

void TThread::Suspend()
{
    std::lock_guard lock(mutex_);
    suspended_ = true;
}

bool TThread::Suspended() const
{
    std::lock_guard lock(mutex_);
    return suspended_ || !started_;
}

void TThread::Terminate()
{
    {
        std::lock_guard lock(mutex_);
        terminated_ = true;
    }
    wake_.notify_all();
    handOff_.shutdown();
}

void TThread::Stop()
{
    Terminate();
    std::thread thread;
    {
        std::lock_guard lock(mutex_);
        thread = std::move(thread_);
    }
    if (thread.joinable()) thread.join();
}

void TThread::setPriority(TThreadPriority priority)
{
    priority_ = priority;
    applyPriority();
}

void TThread::applyPriority()
{
    const int tid = tid_.load();
    if (tid == 0) return; // applied when the thread starts
    static constexpr int nice[] = {19, 10, 5, 0, -5, -10, -20};
    setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice[static_cast<int>(priority_.load())]);
}

bool TThread::Sleep(unsigned ms)
{
    std::unique_lock lock(mutex_);
    wake_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return terminated_.load(); });
    wake_.wait(lock, [this] { return terminated_.load() || !suspended_; });
    return !terminated_;
}

void TThread::run()
{
    // The id is published before the priority is read: a setPriority() that
    // misses the id is seen here, and one that comes later finds the id.
    tid_ = static_cast<int>(syscall(SYS_gettid));
    if (priority_.load() != TThreadPriority::tpNormal) applyPriority();
    // Nothing thrown by a worker may end the process: report it on the window
    // thread, like any other failure of a handler.
    try {
        Execute();
    } catch (...) {
        auto error = std::current_exception();
        handOff_.call([error] { Application::instance().showException(error); });
    }
    finished_ = true;
}

} // namespace fw
