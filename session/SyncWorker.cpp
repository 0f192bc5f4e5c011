#include "session/SyncWorker.h"

namespace session {

SyncWorker::SyncWorker(std::function<int()> sync, std::function<void(int error)> failed)
    : sync_(std::move(sync))
    , failed_(std::move(failed))
    , thread_([this] { run(); })
{
}

SyncWorker::~SyncWorker()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void SyncWorker::request()
{
    {
        std::lock_guard lock(mutex_);
        requested_ = true;
    }
    wake_.notify_one();
}

void SyncWorker::run()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return requested_ || stopping_; });
        if (stopping_) return;
        requested_ = false;
        lock.unlock();
        const int error = sync_();
        if (error != 0) {
            failed_(error);
            return;
        }
        lock.lock();
    }
}

} // namespace session
