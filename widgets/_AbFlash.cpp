#include "_AbFlash.h"

#include <QCoreApplication>

namespace {

fw::TimerScheduler* tickScheduler = nullptr;

class ThreadTicker : public TFlashTicker {
public:
    explicit ThreadTicker(TAbFlash& owner)
        : worker_(std::make_unique<TTimerThread>(owner))
    {
    }

    ~ThreadTicker() override
    {
        worker_->Terminate();
        // Inside one of our own ticks the worker waits for us to return, so it
        // cannot end yet: let it go once the window thread is back in its loop.
        // Terminated, it returns from that tick without touching its owner again.
        if (worker_->Delivering() && QCoreApplication::instance()) {
            TTimerThread* worker = worker_.release();
            QMetaObject::invokeMethod(QCoreApplication::instance(), [worker] { delete worker; }, Qt::QueuedConnection);
        }
    }

    void pause() override
    {
        if (!worker_->Suspended()) worker_->Suspend();
    }

    void run(unsigned intervalMs, fw::TThreadPriority priority) override
    {
        worker_->setTickInterval(intervalMs);
        worker_->setPriority(priority);
        worker_->Resume();
    }

private:
    std::unique_ptr<TTimerThread> worker_;
};

class TimerTicker : public TFlashTicker {
public:
    TimerTicker(TAbFlash& owner, fw::TimerScheduler& scheduler)
        : timer_(nullptr, scheduler)
    {
        timer_.setOnTimer([&owner](QObject*) { owner.DoTick(); });
    }

    void pause() override { timer_.setEnabled(false); }

    void run(unsigned intervalMs, fw::TThreadPriority) override
    {
        timer_.setInterval(intervalMs);
        timer_.setEnabled(true);
    }

private:
    fw::TTimer timer_;
};

} // namespace

void setFlashTickScheduler(fw::TimerScheduler* scheduler)
{
    tickScheduler = scheduler;
}

TTimerThread::TTimerThread(TAbFlash& owner)
    : owner_(owner)
{
}

TTimerThread::~TTimerThread()
{
    Stop();
}

void TTimerThread::Execute()
{
    // Sleep() waits out a pause and answers false once termination is asked for;
    // a withdrawn hand-off means the same.
    while (Sleep(TickInterval())) {
        if (!Synchronize([this] { owner_.DoTick(); }) || Terminated()) return;
    }
}

TAbFlash::TAbFlash(QObject* owner)
    : QObject(owner)
{
    if (tickScheduler)
        ticker_ = std::make_unique<TimerTicker>(*this, *tickScheduler);
    else
        ticker_ = std::make_unique<ThreadTicker>(*this);
}

TAbFlash::~TAbFlash()
{
    destroying_ = true;
    enabled_ = false;
    onTick_ = nullptr;
    ticker_.reset();
}

void TAbFlash::setEnabled(bool enabled)
{
    if (enabled == enabled_) return;
    enabled_ = enabled;
    UpdateThread();
}

void TAbFlash::setTickInterval(unsigned ms)
{
    if (ms == tickInterval_) return;
    tickInterval_ = ms;
    UpdateThread();
}

void TAbFlash::setThreadPriority(fw::TThreadPriority priority)
{
    if (priority == priority_) return;
    priority_ = priority;
    UpdateThread();
}

void TAbFlash::setOnTick(TNotifyEvent handler)
{
    const bool presenceChanged = static_cast<bool>(handler) != static_cast<bool>(onTick_);
    onTick_ = std::move(handler);
    if (presenceChanged) UpdateThread();
}

void TAbFlash::UpdateThread()
{
    ticker_->pause();
    if (tickInterval_ != 0 && enabled_ && onTick_) ticker_->run(tickInterval_, priority_);
}

void TAbFlash::DoTick()
{
    if (!enabled_ || destroying_ || !onTick_) return;
    // A copy: the handler may replace itself, or destroy this component.
    const TNotifyEvent handler = onTick_;
    handler(this);
}
