#include "platform/ClosingLinks.h"

#include "platform/GensioLoop.h"
#include "platform/WakeEvent.h"

#include <gensio/gensio.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <list>
#include <mutex>
#include <poll.h>
#include <set>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

// How long gensio gets to hand over our last bytes and the server to let the
// connection go, and how often a connection shut down both ways is looked at
// again after that.
constexpr std::chrono::milliseconds CloseLimit{2000};
constexpr std::chrono::milliseconds ResetLimit{500};

struct Closing {
    gensio* io = nullptr;
    std::shared_ptr<void> keep;
    int socket = -1;
    std::string peer;
    Clock::time_point deadline;
    std::atomic<bool> closed{false};  // gensio's close has ended
    bool shut = false;                // our end is shut; the server's awaited
    bool reset = false;               // shut down both ways after the limit
};

class Closings {
public:
    static Closings& instance()
    {
        static Closings closings;
        return closings;
    }

    ~Closings()
    {
        std::unique_lock lock(mutex_);
        if (thread_.joinable()) {
            lock.unlock();
            thread_.join();
        }
    }

    void add(std::unique_ptr<Closing> closing)
    {
        Closing* added = closing.get();
        {
            std::lock_guard lock(mutex_);
            if (!running_) {
                if (thread_.joinable()) thread_.join();
                if (wake_.fd() < 0 && wake_.open() != 0) {
                    // Without a wake event nothing can be waited on: close as
                    // gensio would at once.
                    finish(*closing);
                    return;
                }
                running_ = true;
                list_.push_back(std::move(closing));
                thread_ = std::thread([this] { serve(); });
            } else {
                list_.push_back(std::move(closing));
            }
        }
        // The callback comes on the loop's thread, perhaps before this returns.
        if (gensio_close(added->io, [](gensio*, void* data) {
                static_cast<Closing*>(data)->closed = true;
                instance().wake_.signal();
            }, added) != 0)
            added->closed = true;
        wake_.signal();
    }

    bool closing(const std::string& peer)
    {
        std::lock_guard lock(mutex_);
        return std::any_of(list_.begin(), list_.end(), [&](const auto& closing) { return closing->peer == peer; });
    }

    void watch(WakeEvent& event)
    {
        std::lock_guard lock(mutex_);
        watchers_.insert(&event);
    }

    void forget(WakeEvent& event)
    {
        std::lock_guard lock(mutex_);
        watchers_.erase(&event);
    }

private:
    static void finish(Closing& closing)
    {
        gensio_free(closing.io);
        if (closing.socket >= 0) ::close(closing.socket);
        closing.keep.reset();
        GensioLoop::stopUsing();
    }

    // What the server still sends is read and dropped until its end closes.
    static bool serverEnded(int socket)
    {
        char buffer[4096];
        for (;;) {
            const ssize_t got = ::recv(socket, buffer, sizeof buffer, MSG_DONTWAIT);
            if (got > 0) continue;
            if (got < 0 && errno == EINTR) continue;
            return got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
        }
    }

    // Moves each closing on as far as it can go now; true when one has ended.
    bool advance(Closing& closing, Clock::time_point now)
    {
        if (closing.closed && !closing.shut) {
            closing.shut = true;
            if (closing.socket < 0 || ::shutdown(closing.socket, SHUT_WR) != 0) return true;
        }
        if (closing.shut && serverEnded(closing.socket)) return true;
        if (now < closing.deadline) return false;
        if (!closing.reset) {
            closing.reset = true;
            if (closing.socket >= 0) ::shutdown(closing.socket, SHUT_RDWR);
        } else if (closing.closed) {
            return true;
        }
        // gensio calls back into the record until its close has ended, so the
        // record stays until then; with the socket shut down that is soon.
        closing.deadline = now + ResetLimit;
        return false;
    }

    void serve()
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            const auto now = Clock::now();
            std::vector<std::unique_ptr<Closing>> ended;
            for (auto it = list_.begin(); it != list_.end();) {
                if (advance(**it, now)) {
                    ended.push_back(std::move(*it));
                    it = list_.erase(it);
                } else {
                    ++it;
                }
            }
            if (!ended.empty()) {
                lock.unlock();
                for (auto& closing : ended) finish(*closing);
                lock.lock();
                for (WakeEvent* watcher : watchers_) watcher->signal();
            }
            if (list_.empty()) {
                running_ = false;
                return;
            }
            std::vector<pollfd> entries {{wake_.fd(), POLLIN, 0}};
            auto deadline = list_.front()->deadline;
            for (const auto& closing : list_) {
                deadline = std::min(deadline, closing->deadline);
                if (closing->shut) entries.push_back({closing->socket, POLLIN, 0});
            }
            lock.unlock();
            const auto wait = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            ::poll(entries.data(), entries.size(), static_cast<int>(std::max<long long>(wait, 0)));
            wake_.clear();
            lock.lock();
        }
    }

    std::mutex mutex_;
    std::list<std::unique_ptr<Closing>> list_;
    std::set<WakeEvent*> watchers_;
    WakeEvent wake_;
    std::thread thread_;
    bool running_ = false;
};

} // namespace

void ClosingLinks::handOver(gensio* io, std::shared_ptr<void> keep, int socket, const std::string& peer)
{
    auto closing = std::make_unique<Closing>();
    closing->io = io;
    closing->keep = std::move(keep);
    closing->socket = socket;
    closing->peer = peer;
    closing->deadline = Clock::now() + CloseLimit;
    Closings::instance().add(std::move(closing));
}

bool ClosingLinks::closing(const std::string& peer)
{
    return Closings::instance().closing(peer);
}

void ClosingLinks::watch(WakeEvent& event)
{
    Closings::instance().watch(event);
}

void ClosingLinks::forget(WakeEvent& event)
{
    Closings::instance().forget(event);
}

} // namespace platform
