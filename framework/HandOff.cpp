#include "HandOff.h"

#include "Application.h"

#include <QCoreApplication>
#include <QThread>
#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace fw {

namespace {

enum class State { Pending, Running, Done, Withdrawn };

struct Request {
    std::function<void()> fn;
    State state = State::Pending;
};

} // namespace

struct HandOffChannel::Shared {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::shared_ptr<Request>> pending;
    int serving = 0;
    bool shut = false;

    void run(const std::shared_ptr<Request>& request)
    {
        {
            std::lock_guard lock(mutex);
            if (request->state != State::Pending) return; // withdrawn meanwhile
            request->state = State::Running;
            ++serving;
        }
        invokeHandler(request->fn);
        {
            std::lock_guard lock(mutex);
            request->state = State::Done;
            --serving;
            std::erase(pending, request);
        }
        changed.notify_all();
    }
};

bool onWindowThread()
{
    auto* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

HandOffChannel::HandOffChannel()
    : shared_(std::make_shared<Shared>())
{
}

HandOffChannel::~HandOffChannel()
{
    withdrawPending();
}

bool HandOffChannel::call(std::function<void()> fn)
{
    if (onWindowThread()) {
        {
            std::lock_guard lock(shared_->mutex);
            ++shared_->serving;
        }
        invokeHandler(fn);
        std::lock_guard lock(shared_->mutex);
        --shared_->serving;
        return true;
    }

    auto* app = QCoreApplication::instance();
    if (!app) return false;

    auto request = std::make_shared<Request>();
    request->fn = std::move(fn);
    std::shared_ptr<Shared> shared = shared_; // outlives this channel while we wait
    {
        std::lock_guard lock(shared->mutex);
        if (shared->shut) return false;
        shared->pending.push_back(request);
    }
    QMetaObject::invokeMethod(app, [shared, request] { shared->run(request); }, Qt::QueuedConnection);

    std::unique_lock lock(shared->mutex);
    shared->changed.wait(lock, [&] { return request->state == State::Done || request->state == State::Withdrawn; });
    return request->state == State::Done;
}

void HandOffChannel::withdrawPending()
{
    {
        std::lock_guard lock(shared_->mutex);
        std::erase_if(shared_->pending, [](const std::shared_ptr<Request>& request) {
            if (request->state != State::Pending) return false;
            request->state = State::Withdrawn;
            return true;
        });
    }
    shared_->changed.notify_all();
}

void HandOffChannel::shutdown()
{
    {
        std::lock_guard lock(shared_->mutex);
        shared_->shut = true;
    }
    withdrawPending();
}

bool HandOffChannel::serving() const
{
    std::lock_guard lock(shared_->mutex);
    return shared_->serving > 0;
}

int HandOffChannel::pendingCalls() const
{
    std::lock_guard lock(shared_->mutex);
    return static_cast<int>(std::ranges::count_if(
        shared_->pending, [](const std::shared_ptr<Request>& request) { return request->state == State::Pending; }));
}

} // namespace fw
