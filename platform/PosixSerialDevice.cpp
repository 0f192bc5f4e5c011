#include "platform/PosixSerialDevice.h"

#include "platform/LineSettings.h"
#include "platform/PortNames.h"
#include "platform/TerminalLine.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace platform {

namespace {

// The transmit FIFO of a 16550, for a driver that does not tell its own.
constexpr int DefaultTxFifo = 16;

// Gives the device up: leaves exclusive mode where we set it (a device we could
// not lock may be in someone else's), drops our lock and closes the descriptor.
// Returns 0 or the errno of close().
int unlockAndClose(int fd, bool exclusive)
{
    if (exclusive) ::ioctl(fd, TIOCNXCL);
    ::flock(fd, LOCK_UN);
    return ::close(fd) == 0 ? 0 : errno;
}

} // namespace

PosixSerialDevice::PosixSerialDevice()
    : PosixSerialDevice([](int fd) { return std::make_unique<TerminalModemLines>(fd); })
{
}

PosixSerialDevice::PosixSerialDevice(ModemLinesFactory modemLines)
    : modemFactory_(std::move(modemLines))
{
}

PosixSerialDevice::~PosixSerialDevice()
{
    if (isOpen()) close();
}

int PosixSerialDevice::open(const std::string& comName)
{
    if (isOpen()) return EBUSY;
    const std::string path = resolvePortName(comName);
    if (path.empty()) return ENOENT;
    return openPath(path);
}

int PosixSerialDevice::openPath(const std::string& path)
{
    if (isOpen()) return EBUSY;
    {
        std::lock_guard lock(sentMutex_);
        sent_.clear();
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno;
    const auto fail = [fd](int error, bool exclusive) {
        unlockAndClose(fd, exclusive);
        return error;
    };
    // The lock comes first: root passes TIOCEXCL, so the lock is what keeps a
    // second opener out, and it must be taken before anything touches the line.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) return fail(errno == EWOULDBLOCK ? EBUSY : errno, false);
    if (::ioctl(fd, TIOCEXCL) != 0) return fail(errno, false);
    if (const int error = wake_.open()) return fail(error, true);

    // Where the kernel keeps interrupt counters we compare those, which also
    // catches a pulse between two looks; otherwise the line states.
    modem_ = modemFactory_(fd);
    const bool hasModemLines = modemEvents_.start(*modem_);
    serial_struct uart {};
    txFifo_ = ::ioctl(fd, TIOCGSERIAL, &uart) == 0 && uart.xmit_fifo_size > 0 ? uart.xmit_fifo_size : DefaultTxFifo;

    released_ = false;
    gone_ = false;
    goneReported_ = false;
    goneError_ = 0;
    outputDrain_.reset();
    {
        std::lock_guard lock(mutex_);
        input_.clear();
        dtrHeld_ = false;
        decoder_.reset();
    }
    fd_ = fd;
    if (hasModemLines) {
        modemWatch_ = std::make_unique<ModemWatch>(*modem_, [this] { wake_.signal(); });
        modemWatch_->start();
    }
    return 0;
}

// Linux sizes its own kernel queues; the input size asked for is what our own
// queue holds before the device is no longer polled for input.
int PosixSerialDevice::setupQueues(std::uint32_t inQueue, std::uint32_t)
{
    if (!isOpen()) return EBADF;
    std::lock_guard lock(mutex_);
    input_.setCapacity(inQueue);
    return 0;
}

int PosixSerialDevice::applySettings(const DeviceControl& settings)
{
    const int fd = fd_.load();
    if (fd < 0) return EBADF;
    LineSettings line;
    if (const int error = LineSettings::from(settings, line)) return error;
    const TerminalLine applied = TerminalLine::apply(fd, line);
    baud_ = applied.baud;
    {
        std::lock_guard lock(mutex_);
        if (parityMarks_ != applied.parityMarks) decoder_.reset();
        parityMarks_ = applied.parityMarks;
    }
    // The kernel has no DTR/DSR handshake. We emulate it: output is stopped
    // (tcflow) while DSR is low, checked whenever the modem lines are sampled,
    // and DTR is dropped while our input queue is full and raised again once
    // half of it has been read.
    dtrDsrHandshake_ = line.dsrFlow;
    if (dtrDsrHandshake_) gateOutputOnDsr(fd);
    else ::tcflow(fd, TCOON);
    return applied.error;
}

int PosixSerialDevice::setTimeouts(const CommTimeouts&)
{
    // Reads never wait here (VMIN = VTIME = 0 and our own queue), which is what
    // the component asks for; writes take their time-out per call. There is
    // nothing left for the record to set.
    return isOpen() ? 0 : EBADF;
}

int PosixSerialDevice::setEventMask(std::uint32_t mask)
{
    if (!isOpen()) return EBADF;
    mask_ = mask;
    wake_.signal();
    return 0;
}

int PosixSerialDevice::wait(std::uint32_t& events)
{
    events = 0;
    int fd = -1;
    {
        std::lock_guard lock(mutex_);
        fd = fd_.load();
        if (fd < 0) return EBADF;
        waiting_ = true;
    }
    const int result = waitLoop(fd, events);
    {
        std::lock_guard lock(mutex_);
        waiting_ = false;
    }
    waitEnded_.notify_all();
    return result;
}

int PosixSerialDevice::waitLoop(int fd, std::uint32_t& events)
{
    for (;;) {
        if (released_) return 0;
        if (gone_ && !goneReported_) {
            goneReported_ = true;
            return goneError_;
        }

        pollfd fds[2] = {{wake_.fd(), POLLIN, 0}, {fd, POLLIN, 0}};
        // A device that has gone is no longer polled: it would report POLLHUP on
        // every call. Neither is a device whose input we cannot take just now.
        const bool pollDevice = !gone_ && inputRoom() > 0;
        const int timeout = gone_ ? -1 : pollTimeout();
        const int ready = ::poll(fds, pollDevice ? 2 : 1, timeout);
        ++wakeups_;
        if (ready < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (fds[0].revents & POLLIN) wake_.clear();
        if (released_) return 0;
        if (gone_) continue;

        if (pollDevice && fds[1].revents != 0) {
            int error = 0;
            if (fds[1].revents & POLLIN) error = drainInput(fd, events);
            if (error == 0 && (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL))) {
                // Take the reason from a read where there is one.
                char byte = 0;
                error = ::read(fd, &byte, 1) < 0 && errno != EAGAIN ? errno : ENODEV;
            }
            if (error != 0) {
                goneError_ = error;
                gone_ = true;
                // Bytes that came before the end are still delivered first.
                if ((events & mask_) == 0) continue;
                events &= mask_;
                return 0;
            }
        }
        events |= sampleModem(fd);
        events |= checkOutputEmpty(fd);
        events &= mask_;
        if (events != 0) return 0;
    }
}

int PosixSerialDevice::pollTimeout() const
{
    int timeout = -1;
    if (modemWatch_ && modemWatch_->refused()) timeout = ModemSampleMs;
    if (outputDrain_.pending()) {
        const int drainMs = outputDrain_.lookAgainMs();
        timeout = timeout < 0 ? drainMs : std::min(timeout, drainMs);
    }
    return timeout;
}

std::size_t PosixSerialDevice::inputRoom() const
{
    std::lock_guard lock(mutex_);
    return input_.room();
}

int PosixSerialDevice::drainInput(int fd, std::uint32_t& events)
{
    char raw[4096];
    bool first = true;
    for (;;) {
        const std::size_t room = inputRoom();
        if (room == 0) break;
        const std::size_t want = std::min(room, sizeof raw);
        const ssize_t got = ::read(fd, raw, want);
        if (got < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN) break;
            return errno;
        }
        // Poll said there was input; a read that then finds none means the tty
        // has been hung up (an unplugged adapter, a closed pty master).
        if (got == 0) return first ? ENODEV : 0;
        first = false;

        std::lock_guard lock(mutex_);
        const std::size_t before = input_.size();
        if (parityMarks_) {
            std::string decoded;
            decoder_.decode(raw, static_cast<std::size_t>(got), decoded);
            input_.append(decoded);
        } else {
            input_.append(std::string_view(raw, static_cast<std::size_t>(got)));
        }
        if (input_.size() > before) events |= EvRxChar;
        if (input_.full()) {
            if (dtrDsrHandshake_ && !dtrHeld_) {
                const int dtr = TIOCM_DTR;
                ::ioctl(fd, TIOCMBIC, &dtr);
                dtrHeld_ = true;
            }
        }
        if (static_cast<std::size_t>(got) < want) break;
    }
    return 0;
}

std::uint32_t PosixSerialDevice::sampleModem(int fd)
{
    const std::uint32_t events = modemEvents_.changes(*modem_);
    if ((events & EvDsr) && dtrDsrHandshake_) gateOutputOnDsr(fd);
    return events;
}

void PosixSerialDevice::gateOutputOnDsr(int fd)
{
    int lines = 0;
    if (modem_->states(lines) != 0) return; // no modem lines: nothing to obey
    ::tcflow(fd, (lines & TIOCM_DSR) ? TCOON : TCOOFF);
}

std::uint32_t PosixSerialDevice::checkOutputEmpty(int fd)
{
    if (!outputDrain_.pending()) return 0;
    int queued = 0;
    if (::ioctl(fd, TIOCOUTQ, &queued) != 0) queued = 0;
    // With the kernel's queue empty the UART may still be shifting out what its
    // FIFO holds, which the line status tells where the driver has it.
    unsigned lsr = 0;
    const bool empty = queued == 0 && (::ioctl(fd, TIOCSERGETLSR, &lsr) != 0 || (lsr & TIOCSER_TEMT));
    // What is still queued should have left after its time on the line (in the
    // UART that is at most its FIFO).
    const std::uint32_t baud = std::max<std::uint32_t>(baud_.load(), 1);
    const std::uint64_t left = queued > 0 ? std::uint64_t(queued) : std::uint64_t(txFifo_);
    const int estimate = static_cast<int>(std::min<std::uint64_t>(1000, 1 + left * 11 * 1000 / baud));
    return outputDrain_.drained(empty, queued, estimate) ? std::uint32_t{EvTxEmpty} : 0u;
}

int PosixSerialDevice::release()
{
    released_ = true;
    return wake_.signal();
}

int PosixSerialDevice::modemStatus(std::uint32_t& status)
{
    status = 0;
    const int fd = fd_.load();
    if (fd < 0) return EBADF;
    int lines = 0;
    if (const int error = modem_->states(lines)) return error;
    if (lines & TIOCM_CTS) status |= MsCtsOn;
    if (lines & TIOCM_DSR) status |= MsDsrOn;
    if (lines & TIOCM_RI) status |= MsRingOn;
    if (lines & TIOCM_CD) status |= MsRlsdOn;
    return 0;
}

int PosixSerialDevice::queueCounts(CommStatus& status)
{
    status = {};
    const int fd = fd_.load();
    if (fd < 0) return EBADF;
    int kernelIn = 0;
    int kernelOut = 0;
    if (::ioctl(fd, TIOCINQ, &kernelIn) != 0) return errno;
    if (::ioctl(fd, TIOCOUTQ, &kernelOut) != 0) return errno;
    std::lock_guard lock(mutex_);
    status.cbInQue = static_cast<std::uint32_t>(input_.size()) + static_cast<std::uint32_t>(kernelIn);
    status.cbOutQue = static_cast<std::uint32_t>(kernelOut);
    return 0;
}

int PosixSerialDevice::read(char* data, std::size_t size, std::size_t& count)
{
    count = 0;
    const int fd = fd_.load();
    if (fd < 0) return EBADF;
    bool resume = false;
    {
        std::lock_guard lock(mutex_);
        const bool wasFull = input_.full();
        count = input_.take(data, size);
        // The wait has not polled the device for input while the queue was full.
        resume = wasFull && !input_.full();
        if (dtrHeld_ && input_.size() <= input_.capacity() / 2) {
            const int dtr = TIOCM_DTR;
            ::ioctl(fd, TIOCMBIS, &dtr);
            dtrHeld_ = false;
        }
    }
    if (resume) wake_.signal();
    return 0;
}

int PosixSerialDevice::write(const char* data, std::size_t size, unsigned timeoutMs, std::size_t& taken)
{
    taken = 0;
    const int fd = fd_.load();
    if (fd < 0) return EBADF;
    if (gone_) return goneError_;
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::size_t done = 0;
    int result = 0;
    while (done < size) {
        const ssize_t wrote = ::write(fd, data + done, size - done);
        if (wrote > 0) {
            done += static_cast<std::size_t>(wrote);
            continue;
        }
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote < 0 && errno != EAGAIN) {
            result = errno;
            break;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            result = ETIMEDOUT;
            break;
        }
        pollfd fds {fd, POLLOUT, 0};
        if (::poll(&fds, 1, static_cast<int>(left)) < 0 && errno != EINTR) {
            result = errno;
            break;
        }
    }
    // What the terminal took goes out; the rest of a write that timed out is
    // dropped, so nothing ever goes out late here.
    taken = done;
    if (done > 0) {
        {
            std::lock_guard lock(sentMutex_);
            sent_.append(data, done);
        }
        outputDrain_.wrote();
        wake_.signal();
    }
    return result;
}

void PosixSerialDevice::takeSent(std::string& bytes)
{
    std::lock_guard lock(sentMutex_);
    bytes += sent_;
    sent_.clear();
}

int PosixSerialDevice::setControlLine(ControlLine line, bool on)
{
    const int fd = fd_.load();
    if (fd < 0) return EBADF;
    const int bit = line == ControlLine::Rts ? TIOCM_RTS : TIOCM_DTR;
    return ::ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &bit) == 0 ? 0 : errno;
}

int PosixSerialDevice::abort()
{
    // Nothing is ever pending between our calls: a write finishes or times out
    // before it returns and a read never waits. There is nothing to abort.
    return isOpen() ? 0 : EBADF;
}

int PosixSerialDevice::close()
{
    const int fd = fd_.load();
    if (fd < 0) return EBADF;
    release();
    {
        std::unique_lock lock(mutex_);
        waitEnded_.wait(lock, [this] { return !waiting_; });
        fd_ = -1;
    }
    // The watch nudges through the eventfd, so it goes before that does.
    modemWatch_.reset();
    if (!gone_) drainOutputBriefly(fd);
    // Output that flow control holds back would make close() wait for it, for
    // up to half a minute.
    ::tcflush(fd, TCOFLUSH);
    const int result = unlockAndClose(fd, true);
    wake_.close();
    modem_.reset();
    return result;
}

// A write returns once the kernel has the bytes, not once they are on the line;
// a frame written just before closing should still go out. We give the output
// queue a short while to empty as long as it keeps moving.
void PosixSerialDevice::drainOutputBriefly(int fd)
{
    using namespace std::chrono;
    const auto start = steady_clock::now();
    auto lastMove = start;
    int last = -1;
    for (;;) {
        int queued = 0;
        if (::ioctl(fd, TIOCOUTQ, &queued) != 0 || queued == 0) return;
        const auto now = steady_clock::now();
        if (queued != last) lastMove = now;
        if (now - start > milliseconds(500) || now - lastMove > milliseconds(50)) return;
        last = queued;
        std::this_thread::sleep_for(milliseconds(5));
    }
}

} // namespace platform
