#include "VirtualClock.h"


namespace fw {

class VirtualClock::Backend : public TimerBackend {
public:
    Backend(VirtualClock& clock, std::function<void()> fire)
        : clock_(clock)
        , fire_(std::move(fire))
    {
    }
    ~Backend() override { clock_.unschedule(this); }

    void start(unsigned intervalMs) override
    {
        clock_.unschedule(this);
        clock_.schedule(this, intervalMs, clock_.now_ + intervalMs);
    }
    void stop() override { clock_.unschedule(this); }
    void fire() { fire_(); }

private:
    VirtualClock& clock_;
    std::function<void()> fire_;
};

VirtualClock::VirtualClock() = default;
VirtualClock::~VirtualClock() = default;

std::unique_ptr<TimerBackend> VirtualClock::createTimer(std::function<void()> fire)
{
    return std::make_unique<Backend>(*this, std::move(fire));
}

void VirtualClock::schedule(Backend* backend, unsigned interval, std::uint64_t due)
{
    due_.emplace(Key{due, sequence_++}, Entry{backend, interval});
}

void VirtualClock::unschedule(Backend* backend)
{
    for (auto it = due_.begin(); it != due_.end();) {
        if (it->second.backend == backend)
            it = due_.erase(it);
        else
            ++it;
    }
}

void VirtualClock::advance(std::uint64_t ms)
{
    const std::uint64_t target = now_ + ms;
    while (!due_.empty() && due_.begin()->first.first <= target) {
        auto it = due_.begin();
        const Entry entry = it->second;
        now_ = it->first.first;
        due_.erase(it);
        // Re-arm before firing, so that a handler that stops or restarts its own
        // timer replaces this count instead of being overridden by it.
        schedule(entry.backend, entry.interval, now_ + entry.interval);
        entry.backend->fire();
    }
    now_ = target;
}

long long VirtualClock::nextDueIn() const
{
    if (due_.empty()) return -1;
    return static_cast<long long>(due_.begin()->first.first - now_);
}

ScopedVirtualClock::ScopedVirtualClock()
{
    setDefaultScheduler(this);
}

ScopedVirtualClock::~ScopedVirtualClock()
{
    setDefaultScheduler(nullptr);
}

} // namespace fw
