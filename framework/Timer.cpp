#include "Timer.h"

#include "Application.h"

#include <QElapsedTimer>
#include <QTimer>
#include <ctime>

namespace fw {

namespace {

class QtTimerBackend : public TimerBackend {
public:
    explicit QtTimerBackend(std::function<void()> fire)
    {
        // Precise timers keep millisecond accuracy: a 60 ms timer fires every 60 ms,
        // where a coarse one may drift by up to 5 %.
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, std::move(fire));
    }
    void start(unsigned intervalMs) override { timer_.start(static_cast<int>(intervalMs)); }
    void stop() override { timer_.stop(); }

private:
    QTimer timer_;
};

class QtTimerScheduler : public TimerScheduler {
public:
    QtTimerScheduler() { clock_.start(); }
    std::unique_ptr<TimerBackend> createTimer(std::function<void()> fire) override
    {
        return std::make_unique<QtTimerBackend>(std::move(fire));
    }
    std::uint64_t nowMs() const override { return static_cast<std::uint64_t>(clock_.elapsed()); }

private:
    QElapsedTimer clock_; // monotonic
};

QtTimerScheduler& qtScheduler()
{
    static QtTimerScheduler scheduler;
    return scheduler;
}

TimerScheduler* currentScheduler = nullptr;

} // namespace

std::uint64_t TimerScheduler::ageClockMs() const
{
    timespec now {};
    ::clock_gettime(CLOCK_BOOTTIME, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000u + static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
}

TimerScheduler& defaultScheduler()
{
    return currentScheduler ? *currentScheduler : qtScheduler();
}

void setDefaultScheduler(TimerScheduler* scheduler)
{
    currentScheduler = scheduler;
}

std::uint64_t tickCount()
{
    return defaultScheduler().nowMs();
}

TTimer::TTimer(QObject* owner, TimerScheduler& scheduler)
    : QObject(owner)
    , backend_(scheduler.createTimer([this] { fire(); }))
{
}

TTimer::~TTimer() = default;

void TTimer::setEnabled(bool enabled)
{
    if (enabled == enabled_) return;
    enabled_ = enabled;
    update();
}

void TTimer::setInterval(unsigned intervalMs)
{
    if (intervalMs == interval_) return;
    interval_ = intervalMs;
    update();
}

void TTimer::setOnTimer(TNotifyEvent handler)
{
    onTimer_ = std::move(handler);
    update();
}

void TTimer::update()
{
    backend_->stop();
    running_ = enabled_ && interval_ != 0 && onTimer_;
    if (running_) backend_->start(interval_);
}

void TTimer::fire()
{
    // Copy the handler: it may replace itself or disable the timer.
    if (!running_) return;
    TNotifyEvent handler = onTimer_;
    invokeHandler([&] { handler(this); });
}

} // namespace fw
