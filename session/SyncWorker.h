#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace session {

// Runs a flush to storage on a thread of its own, so that a slow disk holds up
// no one: request() returns at once, and the flush runs soon after. Requests
// that come while one is waiting or running make one more flush, not one each.
// The thread sleeps until asked; it never wakes by itself. finish() hands it the
// last work on the file (the final flush and the closing), after which it ends.
class SyncWorker {
public:
    // `sync` returns 0 or an errno value. `failed` is called on the worker's
    // thread with the first failure; after it the worker flushes no more.
    SyncWorker(std::function<int()> sync, std::function<void(int error)> failed);
    // Waits for a flush that is running, drops one that is only asked for, and
    // runs what finish() handed over first: the file must not stay open.
    ~SyncWorker();
    SyncWorker(const SyncWorker&) = delete;
    SyncWorker& operator=(const SyncWorker&) = delete;

    void request();
    // Returns at once. After a flush that is running, `last` runs on the
    // worker's thread, even after a failure, and `done` is told its result there;
    // then the thread ends.
    void finish(std::function<int()> last, std::function<void(int error)> done);

private:
    void run();

    std::function<int()> sync_;
    std::function<void(int)> failed_;
    std::function<int()> last_;
    std::function<void(int)> done_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool requested_ = false;
    bool stopping_ = false;
    bool finishing_ = false;
    bool failedOnce_ = false;
    std::thread thread_;
};

} // namespace session
