#include "links/DeviceOpening.h"

#include "platform/WakeEvent.h"
#include "serial/LinkDestination.h"
#include "serial/Serial2.h"

#include <QThreadPool>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <poll.h>

namespace links {

namespace {

// The openings of every link: one thread each while it waits, so that a host
// that never answers holds up no other link's opening. Openings are rare (a
// start, a reconnect): a thread goes when its opening ends rather than stay
// idle for the next.
QThreadPool& openingThreads()
{
    static QThreadPool* pool = [] {
        auto* threads = new QThreadPool;
        threads->setMaxThreadCount(1024);
        threads->setExpiryTimeout(0);
        return threads;
    }();
    return *pool;
}

// The openings abandoned and still on their threads, for waitForAbandoned().
struct Abandoned {
    std::mutex mutex;
    std::condition_variable done;
    int count = 0;
};

Abandoned& abandoned()
{
    static Abandoned* shared = new Abandoned;
    return *shared;
}

// A connection wait that another thread can end: cancel() makes it return
// ECANCELED at once. Its eventfd lives only while an opening waits: the
// device it opened keeps the wait, and an open port should cost nothing more.
class CancellableWait : public platform::ConnectionWait {
public:
    void begin(const std::string&) override
    {
        const std::lock_guard lock(mutex_);
        wake_.open();
    }
    int wait(int fd, short events, Clock::time_point deadline) override
    {
        for (;;) {
            if (cancelled_) return ECANCELED;
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) return ETIMEDOUT;
            pollfd entries[] = {{fd, events, 0}, {wake_.fd(), POLLIN, 0}};
            const int ready = ::poll(entries, wake_.fd() >= 0 ? 2 : 1, static_cast<int>(left));
            if (cancelled_) return ECANCELED;
            if (ready > 0 && entries[0].revents != 0) return 0;
            if (ready < 0 && errno != EINTR) return errno;
        }
    }
    void end() override
    {
        const std::lock_guard lock(mutex_);
        wake_.close();
    }
    void cancel()
    {
        cancelled_ = true;
        const std::lock_guard lock(mutex_);
        wake_.signal();
    }

private:
    std::mutex mutex_;
    platform::WakeEvent wake_;
    std::atomic<bool> cancelled_{false};
};

// The line as the component sets it, and its time-outs for a port without
// flow control.
PreparedDevice::Setup setupOf(TSerial& serial)
{
    serial.ApplySettings(); // on a closed port it only builds the record
    PreparedDevice::Setup setup;
    setup.inQueue = serial.RxQueueSize();
    setup.outQueue = serial.TxQueueSize();
    setup.line = serial.PortSettings();
    setup.timeouts.ReadIntervalTimeout = 0xFFFFFFFF;
    return setup;
}

} // namespace

// One opening on its thread; the owner drops it by setting `abandoned`.
struct DeviceOpening::Opening {
    std::mutex mutex;
    bool abandoned = false;
    bool ended = false;
    std::shared_ptr<CancellableWait> wait = std::make_shared<CancellableWait>();
    std::shared_ptr<PreparedDevice> device;
    Result result;
};

DeviceOpening::DeviceOpening(TSerial& serial, QObject* parent)
    : QObject(parent)
    , serial_(serial)
{
}

DeviceOpening::~DeviceOpening()
{
    abandon();
}

std::shared_ptr<platform::SerialDevice> DeviceOpening::take()
{
    if (ready_) return std::exchange(ready_, nullptr);
    start();
    return PreparedDevice::pending();
}

void DeviceOpening::start()
{
    if (current_) return;
    auto opening = std::make_shared<Opening>();
    opening->device = std::make_shared<PreparedDevice>(opening->wait);
    current_ = opening;
    const std::string name = "COM" + std::to_string(unsigned{serial_.Port()});
    const PreparedDevice::Setup setup = setupOf(serial_);
    openingThreads().start([this, opening, name, setup] {
        Result result;
        result.error = opening->device->prepare(name, setup);
        result.destination = linkDestination(name).where.toStdString();
        result.diagnosis = QString::fromStdString(opening->device->diagnosis());
        result.detail = QString::fromStdString(opening->device->diagnosisDetail());
        std::unique_lock lock(opening->mutex);
        if (opening->abandoned) {
            // Nobody takes it: what it opened is let go here, now.
            lock.unlock();
            opening->device.reset();
            const std::lock_guard counted(abandoned().mutex);
            --abandoned().count;
            abandoned().done.notify_all();
            return;
        }
        opening->result = std::move(result);
        opening->ended = true;
        QMetaObject::invokeMethod(this, [this, opening] { ended(opening); }, Qt::QueuedConnection);
    });
}

void DeviceOpening::abandon()
{
    ready_.reset();
    if (!current_) return;
    const auto opening = std::exchange(current_, nullptr);
    {
        const std::lock_guard lock(opening->mutex);
        if (opening->ended) return; // its device goes with its last owner
        opening->abandoned = true;
        const std::lock_guard counted(abandoned().mutex);
        ++abandoned().count;
    }
    opening->wait->cancel();
}

bool DeviceOpening::waitForAbandoned(unsigned limitMs)
{
    std::unique_lock lock(abandoned().mutex);
    return abandoned().done.wait_for(lock, std::chrono::milliseconds(limitMs), [] { return abandoned().count == 0; });
}

void DeviceOpening::ended(const std::shared_ptr<Opening>& opening)
{
    if (opening != current_) return;
    current_.reset();
    Result result;
    {
        // Written on the opening's thread under this lock: taken under it too.
        const std::lock_guard lock(opening->mutex);
        ready_ = opening->device;
        result = opening->result;
    }
    emit finished(result);
    ready_.reset();
}

} // namespace links
