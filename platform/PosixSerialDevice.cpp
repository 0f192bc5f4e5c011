#include "platform/PosixSerialDevice.h"

#include "platform/ArbitraryBaud.h"
#include "platform/PortNames.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace platform {

namespace {

// Our input queue never holds less than this, so that a tiny requested size
// cannot make the line crawl.
constexpr std::size_t MinInputQueue = 256;

// The transmit FIFO of a 16550, for a driver that does not tell its own.
constexpr int DefaultTxFifo = 16;

speed_t standardRate(std::uint32_t baud)
{
    switch (baud) {
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    default: return B0;
    }
}

void closeQuietly(int fd)
{
    if (fd >= 0) ::close(fd);
}

// Gives the device up: leaves exclusive mode where we set it (a device we could
// not lock may be in someone else's), drops our lock and closes the descriptor.
// Returns 0 or the errno of close().
int unlockAndClose(int fd, bool exclusive)
{
    if (exclusive) ::ioctl(fd, TIOCNXCL);
    ::flock(fd, LOCK_UN);
    return ::close(fd) == 0 ? 0 : errno;
}

// A C library may read the line back after tcsetattr() and call it EINVAL when
// the character size or the parity enable did not stick, although the kernel
// took the call. A pty always keeps CS8 and drops PARENB, and an adapter that
// cannot do seven bits or parity does the same; the line then runs as well as it
// can, and "Invalid argument" on every opening would tell the user nothing they
// could act on. So a line that holds everything else we asked for counts as set.
// Anything else it did not take is still reported.
bool heldExceptSizeAndParity(const termios& wanted, const termios& actual)
{
    constexpr tcflag_t droppable = CSIZE | PARENB;
    return actual.c_iflag == wanted.c_iflag && actual.c_oflag == wanted.c_oflag && actual.c_lflag == wanted.c_lflag
        && (actual.c_cflag & ~droppable) == (wanted.c_cflag & ~droppable)
        && std::equal(std::begin(actual.c_cc), std::end(actual.c_cc), std::begin(wanted.c_cc));
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
    const int wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd < 0) return fail(errno, true);

    // Where the kernel keeps interrupt counters we compare those, which also
    // catches a pulse between two looks; otherwise the line states.
    modem_ = modemFactory_(fd);
    modemSource_ = ModemSource::None;
    if (modem_->counters(counters_) == 0) modemSource_ = ModemSource::Counters;
    else if (modem_->states(lines_) == 0) modemSource_ = ModemSource::Lines;
    serial_struct uart {};
    txFifo_ = ::ioctl(fd, TIOCGSERIAL, &uart) == 0 && uart.xmit_fifo_size > 0 ? uart.xmit_fifo_size : DefaultTxFifo;

    released_ = false;
    gone_ = false;
    goneReported_ = false;
    goneError_ = 0;
    txWritten_ = 0;
    txSeen_ = 0;
    {
        std::lock_guard lock(mutex_);
        input_.clear();
        inputHead_ = 0;
        inputFull_ = false;
        dtrHeld_ = false;
        decoder_.reset();
    }
    wakeFd_ = wakeFd;
    fd_ = fd;
    if (modemSource_ != ModemSource::None) {
        modemWatch_ = std::make_unique<ModemWatch>(*modem_, [this] { nudge(); });
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
    inputCap_ = std::max<std::size_t>(inQueue, MinInputQueue);
    return 0;
}

int PosixSerialDevice::applySettings(const DeviceControl& settings)
{
    const int fd = fd_.load();
    if (fd < 0) return EBADF;
    termios t {};
    if (::tcgetattr(fd, &t) != 0) return errno;

    ::cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;

    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    switch (settings.ByteSize) {
    case 5: t.c_cflag |= CS5; break;
    case 6: t.c_cflag |= CS6; break;
    case 7: t.c_cflag |= CS7; break;
    case 8: t.c_cflag |= CS8; break;
    default: return EINVAL;
    }
    switch (settings.Parity) {
    case NoParity: break;
    case OddParity: t.c_cflag |= PARENB | PARODD; break;
    case EvenParity: t.c_cflag |= PARENB; break;
    case MarkParity: t.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case SpaceParity: t.c_cflag |= PARENB | CMSPAR; break;
    default: return EINVAL;
    }
    switch (settings.StopBits) {
    case OneStopBit: break;
    // With five data bits the UART turns CSTOPB into one and a half stop bits.
    case One5StopBits:
    case TwoStopBits: t.c_cflag |= CSTOPB; break;
    default: return EINVAL;
    }
    if (settings.fOutxCtsFlow || settings.fRtsControl == LineHandshake) t.c_cflag |= CRTSCTS;

    t.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | PARMRK | IGNPAR | ISTRIP);
    if (settings.fOutX) t.c_iflag |= IXON;
    if (settings.fInX) t.c_iflag |= IXOFF;
    t.c_cc[VSTART] = static_cast<cc_t>(settings.XonChar);
    t.c_cc[VSTOP] = static_cast<cc_t>(settings.XoffChar);
    // Checked parity marks the bytes in error instead of replacing or dropping
    // them; the markers are stripped again on the way into our queue.
    if (settings.fParity) t.c_iflag |= INPCK | PARMRK;

    if (settings.BaudRate == 0) return EINVAL;
    const speed_t rate = standardRate(settings.BaudRate);
    int result = 0;
    if (rate != B0) {
        ::cfsetispeed(&t, rate);
        ::cfsetospeed(&t, rate);
        result = ::tcsetattr(fd, TCSANOW, &t) == 0 ? 0 : errno;
    } else {
        detail::RawTermios raw;
        raw.iflag = t.c_iflag;
        raw.oflag = t.c_oflag;
        raw.cflag = t.c_cflag;
        raw.lflag = t.c_lflag;
        raw.line = t.c_line;
        raw.cc = t.c_cc;
        raw.ccCount = NCCS;
        result = detail::applyWithArbitraryRate(fd, raw, settings.BaudRate);
    }

    // Even a refused call may have changed the line, so what we keep about it is
    // taken from what it now holds, not from what was asked: received bytes are
    // decoded by the marking the line really does.
    termios actual {};
    const bool readBack = ::tcgetattr(fd, &actual) == 0;
    if (result == EINVAL && rate != B0 && readBack && heldExceptSizeAndParity(t, actual)) result = 0;
    const bool marks = ((readBack ? actual : t).c_iflag & PARMRK) != 0;
    const long actualRate = detail::outputRate(fd);
    baud_ = actualRate > 0 ? static_cast<std::uint32_t>(actualRate) : settings.BaudRate;
    {
        std::lock_guard lock(mutex_);
        if (parityMarks_ != marks) decoder_.reset();
        parityMarks_ = marks;
    }
    // The kernel has no DTR/DSR handshake. We emulate it: output is stopped
    // (tcflow) while DSR is low, checked whenever the modem lines are sampled,
    // and DTR is dropped while our input queue is full and raised again once
    // half of it has been read.
    dtrDsrHandshake_ = settings.fOutxDsrFlow || settings.fDtrControl == LineHandshake;
    if (dtrDsrHandshake_) gateOutputOnDsr(fd);
    else ::tcflow(fd, TCOON);
    return result;
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
    nudge();
    return 0;
}

int PosixSerialDevice::wait(std::uint32_t& events)
{
    events = 0;
    int fd = -1;
    int wakeFd = -1;
    {
        std::lock_guard lock(mutex_);
        fd = fd_.load();
        wakeFd = wakeFd_.load();
        if (fd < 0) return EBADF;
        waiting_ = true;
    }
    const int result = waitLoop(fd, wakeFd, events);
    {
        std::lock_guard lock(mutex_);
        waiting_ = false;
    }
    waitEnded_.notify_all();
    return result;
}

int PosixSerialDevice::waitLoop(int fd, int wakeFd, std::uint32_t& events)
{
    for (;;) {
        if (released_) return 0;
        if (gone_ && !goneReported_) {
            goneReported_ = true;
            return goneError_;
        }

        pollfd fds[2] = {{wakeFd, POLLIN, 0}, {fd, POLLIN, 0}};
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
        if (fds[0].revents & POLLIN) {
            std::uint64_t count = 0;
            [[maybe_unused]] const auto ignored = ::read(wakeFd, &count, sizeof count);
        }
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
    if (txWritten_.load() != txSeen_) timeout = timeout < 0 ? txPollMs_ : std::min(timeout, txPollMs_);
    return timeout;
}

std::size_t PosixSerialDevice::inputRoom() const
{
    std::lock_guard lock(mutex_);
    const std::size_t queued = input_.size() - inputHead_;
    return queued < inputCap_ ? inputCap_ - queued : 0;
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
        if (parityMarks_) decoder_.decode(raw, static_cast<std::size_t>(got), input_);
        else input_.append(raw, static_cast<std::size_t>(got));
        if (input_.size() > before) events |= EvRxChar;
        if (input_.size() - inputHead_ >= inputCap_) {
            inputFull_ = true;
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
    std::uint32_t events = 0;
    if (modemSource_ == ModemSource::Counters) {
        serial_icounter_struct now {};
        if (modem_->counters(now) != 0) return 0;
        if (now.cts != counters_.cts) events |= EvCts;
        if (now.dsr != counters_.dsr) events |= EvDsr;
        if (now.dcd != counters_.dcd) events |= EvRlsd;
        if (now.rng != counters_.rng) events |= EvRing;
        if (now.brk != counters_.brk) events |= EvBreak;
        counters_ = now;
    } else if (modemSource_ == ModemSource::Lines) {
        // Without counters a break cannot be seen, and only a ring that starts.
        int now = 0;
        if (modem_->states(now) != 0) return 0;
        const int changed = now ^ lines_;
        if (changed & TIOCM_CTS) events |= EvCts;
        if (changed & TIOCM_DSR) events |= EvDsr;
        if (changed & TIOCM_CD) events |= EvRlsd;
        if ((changed & TIOCM_RI) && (now & TIOCM_RI)) events |= EvRing;
        lines_ = now;
    }
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
    const std::uint64_t written = txWritten_.load();
    if (written == txSeen_) return 0;
    int queued = 0;
    if (::ioctl(fd, TIOCOUTQ, &queued) != 0) queued = 0;
    if (queued == 0) {
        // The kernel's queue is empty; the UART may still be shifting out what its
        // FIFO holds, which the line status tells where the driver has it.
        unsigned lsr = 0;
        if (::ioctl(fd, TIOCSERGETLSR, &lsr) != 0 || (lsr & TIOCSER_TEMT)) {
            txSeen_ = written;
            txLastQueued_ = -1;
            txPollMs_ = 1;
            return EvTxEmpty;
        }
    }
    // Look again when what is still queued should have left (in the UART that is
    // at most its FIFO); if the queue has not moved (flow control holds it), look
    // less and less often.
    const std::uint32_t baud = std::max<std::uint32_t>(baud_.load(), 1);
    const std::uint64_t left = queued > 0 ? std::uint64_t(queued) : std::uint64_t(txFifo_);
    const int estimate = static_cast<int>(std::min<std::uint64_t>(1000, 1 + left * 11 * 1000 / baud));
    txPollMs_ = queued == txLastQueued_ ? std::min(1000, txPollMs_ * 2) : estimate;
    txLastQueued_ = queued;
    return 0;
}

int PosixSerialDevice::release()
{
    released_ = true;
    return nudge();
}

// Makes the wait look again. Only release() needs to know whether it got there.
int PosixSerialDevice::nudge()
{
    const int wakeFd = wakeFd_.load();
    if (wakeFd < 0) return EBADF;
    const std::uint64_t one = 1;
    return ::write(wakeFd, &one, sizeof one) == sizeof one ? 0 : errno;
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
    status.cbInQue = static_cast<std::uint32_t>(input_.size() - inputHead_) + static_cast<std::uint32_t>(kernelIn);
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
        count = std::min(size, input_.size() - inputHead_);
        std::copy_n(input_.data() + inputHead_, count, data);
        inputHead_ += count;
        const std::size_t queued = input_.size() - inputHead_;
        if (queued == 0) {
            input_.clear();
            inputHead_ = 0;
        } else if (inputHead_ > inputCap_) {
            input_.erase(0, inputHead_);
            inputHead_ = 0;
        }
        if (inputFull_ && queued < inputCap_) {
            inputFull_ = false;
            resume = true;
        }
        if (dtrHeld_ && queued <= inputCap_ / 2) {
            const int dtr = TIOCM_DTR;
            ::ioctl(fd, TIOCMBIS, &dtr);
            dtrHeld_ = false;
        }
    }
    if (resume) nudge();
    return 0;
}

int PosixSerialDevice::write(const char* data, std::size_t size, unsigned timeoutMs)
{
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
    if (done > 0) {
        ++txWritten_;
        nudge();
    }
    return result;
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
    closeQuietly(wakeFd_.exchange(-1));
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
