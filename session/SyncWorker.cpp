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

void SyncWorker::finish(std::function<int()> last, std::function<void(int error)> done)
{
    {
        std::lock_guard lock(mutex_);
        last_ = std::move(last);
        done_ = std::move(done);
        finishing_ = true;
    }
    wake_.notify_one();
}

void SyncWorker::run()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return requested_ || stopping_ || finishing_; });
        if (finishing_) {
            lock.unlock();
            done_(last_());
            return;
        }
        if (stopping_) return;
        requested_ = false;
        // After a failure the thread stays, idle, for the closing still to come.
        if (failedOnce_) continue;
        lock.unlock();
        const int error = sync_();
        if (error != 0) failed_(error);
        lock.lock();
        failedOnce_ = error != 0;
    }
}

} // namespace session
