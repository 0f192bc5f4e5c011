#include "platform/NetworkSerialDevice.h"
#include "platform/ServerWords.h"
#include "platform/NetworkFailures.h"

#include <gensio/gensio.h>
#include <gensio/sergensio.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <linux/sockios.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <utility>

namespace platform {

// The data path of a network port: gensio's events, what arrives queued for
// reading, what is written handed to gensio as it takes it, the wait.


int NetworkSerialDevice::onEvent(gensio*, void* route, int event, int error, unsigned char* buffer,
                                 std::size_t* length, const char* const* auxiliary)
{
    // What comes for a connection that is closing is nobody's: taken and dropped.
    int result = event == GENSIO_EVENT_READ ? 0 : GE_NOTSUP;
    through(route, [&](NetworkSerialDevice& device) {
        result = device.event(event, error, buffer, length, auxiliary);
    });
    return result;
}

int NetworkSerialDevice::event(int event, int error, unsigned char* buffer, std::size_t* length,
                               const char* const* auxiliary)
{
    switch (event) {
    case GENSIO_EVENT_READ: {
        // An error comes without a length.
        std::size_t none = 0;
        received(error, buffer, length ? *length : none);
        return 0;
    }
    case GENSIO_EVENT_WRITE_READY:
        writeReady();
        return 0;
    case GENSIO_EVENT_PRECERT_VERIFY:
        return judgeServer();
    case GENSIO_EVENT_POSTCERT_VERIFY:
        return verifyServer(error, auxiliary && auxiliary[0] ? auxiliary[0] : "");
    case GENSIO_EVENT_SER_MODEMSTATE:
    case GENSIO_EVENT_SER_LINESTATE:
    case GENSIO_EVENT_SER_FLOW_STATE: {
        unsigned value = 0;
        if (buffer && length && *length >= sizeof value) std::memcpy(&value, buffer, sizeof value);
        else if (buffer && length && *length > 0) value = buffer[0];
        serialEvent(event, value);
        return 0;
    }
    default:
        return GE_NOTSUP;
    }
}

// What arrived, as far as the input queue has room: gensio keeps the rest and
// brings it again once reading is on again.
void NetworkSerialDevice::received(int error, const unsigned char* data, std::size_t& length)
{
    if (error != 0) {
        length = 0;
        // An orderly end and a reset alike: the server is gone.
        sayServerClosed(ECONNRESET);
        markGone(ECONNRESET);
        return;
    }
    {
        std::lock_guard lock(mutex_);
        const std::size_t taken = std::min(length, input_.room());
        const std::string_view arrived(reinterpret_cast<const char*>(data), taken);
        input_.append(arrived);
        keepFarewell(arrived);
        if (earliest_.size() < 3) earliest_.append(arrived.substr(0, 3 - earliest_.size()));
        if (taken > 0) pendingEvents_ |= EvRxChar;
        length = taken;
        if (input_.full() && reading_) {
            reading_ = false;
            gensio_set_read_callback_enable(io_, false);
        }
    }
    wake_.signal();
}

// The caller holds mutex_.
void NetworkSerialDevice::keepFarewell(std::string_view data)
{
    if (!onlyText_) return;
    onlyText_ = std::all_of(data.begin(), data.end(), isText);
    if (!onlyText_) {
        farewell_.clear();
        return;
    }
    farewell_.append(data.substr(0, FarewellLimit - std::min(FarewellLimit, farewell_.size())));
}

// A connection that the server ends after nothing but text (a server turning
// us away says why, then hangs up) keeps those words for the diagnosis of the
// loss, so that the operator reads the server's reason, not only "reset".
void NetworkSerialDevice::sayServerClosed(int error)
{
    std::string words;
    {
        std::lock_guard lock(mutex_);
        if (onlyText_) words = serverWords(farewell_);
    }
    if (!words.empty()) fail(error, serverClosedConnection(words));
}

int NetworkSerialDevice::setupQueues(std::uint32_t inQueue, std::uint32_t)
{
    if (!isOpen()) return EBADF;
    std::lock_guard lock(mutex_);
    input_.setCapacity(inQueue);
    return 0;
}

int NetworkSerialDevice::setTimeouts(const CommTimeouts&)
{
    // Reads never wait (they take from our own queue) and writes take their
    // time-out per call: there is nothing left for the record to set.
    return isOpen() ? 0 : EBADF;
}

int NetworkSerialDevice::setEventMask(std::uint32_t mask)
{
    if (!isOpen()) return EBADF;
    mask_ = mask;
    return wake_.signal();
}

int NetworkSerialDevice::wait(std::uint32_t& events)
{
    events = 0;
    if (!isOpen()) return EBADF;
    for (;;) {
        if (released_) return 0;
        bool late = false;
        {
            std::lock_guard lock(mutex_);
            // Bytes that came before the end are delivered before it is told.
            events = pendingEvents_ & mask_;
            pendingEvents_ = 0;
            late = sentLate_.exchange(false);
        }
        if (late) {
            // Told only while there is something to take: the writer may have
            // taken what went late already, right after its write.
            std::lock_guard lock(writeMutex_);
            if (!sent_.empty()) events |= EvSentLate;
        }
        if (events != 0) return 0;
        if (gone_ && !goneReported_) {
            goneReported_ = true;
            return goneError_;
        }
        pollfd entry {wake_.fd(), POLLIN, 0};
        const int timeout = !gone_ && outputDrain_.pending() ? outputDrain_.lookAgainMs() : -1;
        const int ready = ::poll(&entry, 1, timeout);
        if (ready < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (entry.revents & POLLIN) wake_.clear();
        if (released_) return 0;
        if (gone_) continue;
        const std::uint32_t empty = checkOutputEmpty();
        std::lock_guard lock(mutex_);
        pendingEvents_ |= empty;
    }
}

void NetworkSerialDevice::sendSome()
{
    if (suspended_ || gone_ || unsentHead_ >= unsent_.size()) return;
    gensiods count = 0;
    const int error = gensio_write(io_, &count, unsent_.data() + unsentHead_, unsent_.size() - unsentHead_, nullptr);
    if (error != 0) {
        markGone(ECONNRESET);
        return;
    }
    if (count == 0) return;
    sent_.append(unsent_, unsentHead_, count);
    unsentHead_ += count;
    if (unsentHead_ == unsent_.size()) {
        unsent_.clear();
        unsentHead_ = 0;
    } else if (unsentHead_ > unsent_.size() / 2) {
        unsent_.erase(0, unsentHead_);
        unsentHead_ = 0;
    }
    outputDrain_.wrote();
    if (!writing_) sentLate_ = true;
    wake_.signal();
}

// gensio has room again: what a write left goes on, until it is all gone or
// the server holds us back.
void NetworkSerialDevice::writeReady()
{
    std::lock_guard lock(writeMutex_);
    sendSome();
    if (unsentHead_ >= unsent_.size() || suspended_ || gone_) gensio_set_write_callback_enable(io_, false);
    writable_.notify_all();
}

void NetworkSerialDevice::takeSent(std::string& bytes)
{
    std::lock_guard lock(writeMutex_);
    bytes += sent_;
    sent_.clear();
}

std::uint32_t NetworkSerialDevice::checkOutputEmpty()
{
    if (!outputDrain_.pending()) return 0;
    // Nobody asks for it: nothing to look at again and again.
    if (!(mask_.load() & EvTxEmpty)) {
        outputDrain_.forget();
        return 0;
    }
    // Sent counts as done once the server's end has acknowledged it, which on
    // a network may take a round trip or two.
    int queued = 0;
    const int fd = socket_.load();
    if (fd < 0 || ::ioctl(fd, SIOCOUTQ, &queued) != 0) queued = 0;
    bool unsent = false;
    {
        std::lock_guard lock(writeMutex_);
        unsent = unsentHead_ < unsent_.size();
    }
    return outputDrain_.drained(queued == 0 && !unsent, queued, 1) ? std::uint32_t{EvTxEmpty} : 0u;
}

void NetworkSerialDevice::markGone(int error)
{
    int none = 0;
    // The reason is in place before anyone can see the connection gone.
    if (goneError_.compare_exchange_strong(none, error)) gone_ = true;
    // gensio may close the socket from now on, and its number may come back.
    socket_ = -1;
    writable_.notify_all();
    answers_.signal();
    wake_.signal();
}

int NetworkSerialDevice::release()
{
    released_ = true;
    return wake_.signal();
}

int NetworkSerialDevice::queueCounts(CommStatus& status)
{
    status = {};
    if (!isOpen()) return EBADF;
    const int fd = socket_.load();
    int socketIn = 0;
    int socketOut = 0;
    // A connection that has gone has no queues left to count.
    if (fd < 0 || ::ioctl(fd, FIONREAD, &socketIn) != 0) socketIn = 0;
    if (fd < 0 || ::ioctl(fd, SIOCOUTQ, &socketOut) != 0) socketOut = 0;
    std::size_t unsent = 0;
    {
        std::lock_guard lock(writeMutex_);
        unsent = unsent_.size() - unsentHead_;
    }
    std::lock_guard lock(mutex_);
    status.cbInQue = static_cast<std::uint32_t>(input_.size()) + static_cast<std::uint32_t>(socketIn);
    status.cbOutQue = static_cast<std::uint32_t>(socketOut) + static_cast<std::uint32_t>(unsent);
    return 0;
}

int NetworkSerialDevice::read(char* data, std::size_t size, std::size_t& count)
{
    count = 0;
    if (!isOpen()) return EBADF;
    std::lock_guard lock(mutex_);
    count = input_.take(data, size);
    // gensio has not been read while the queue was full.
    if (!reading_ && !input_.full() && !gone_) {
        reading_ = true;
        gensio_set_read_callback_enable(io_, true);
    }
    return 0;
}

int NetworkSerialDevice::write(const char* data, std::size_t size, unsigned timeoutMs, std::size_t& taken)
{
    taken = 0;
    if (!isOpen()) return EBADF;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::unique_lock lock(writeMutex_);
    if (gone_) return ECONNRESET;
    // What a write that timed out left goes first, or the stream would be out
    // of order.
    unsent_.append(data, size);
    writing_ = true;
    sendSome();
    int error = 0;
    while (unsentHead_ < unsent_.size() && !gone_) {
        gensio_set_write_callback_enable(io_, true);
        if (writable_.wait_until(lock, deadline) == std::cv_status::timeout) {
            if (unsentHead_ < unsent_.size()) error = ETIMEDOUT;
            break;
        }
    }
    writing_ = false;
    // A write that timed out keeps its rest and sends it first thing later,
    // up to UnsentLimit: a server that has stopped reading must not make us
    // hold all that is written to it. The first drop is told; later ones are
    // time-outs like any other.
    std::size_t dropped = 0;
    if (error == ETIMEDOUT && unsent_.size() - unsentHead_ > UnsentLimit) {
        dropped = unsent_.size() - unsentHead_ - UnsentLimit;
        unsent_.resize(unsentHead_ + UnsentLimit);
    }
    if (error == 0 || error == ETIMEDOUT) taken = size - std::min(size, dropped);
    // However the connection ended (a reset, a peer that stopped answering),
    // a write that finds it gone says so in the one way that means "gone".
    if (gone_) return ECONNRESET;
    return dropped > 0 && !std::exchange(dropReported_, true) ? ENOBUFS : error;
}

int NetworkSerialDevice::abort()
{
    // Nothing is ever pending between our calls: a write finishes or times out
    // before it returns and a read never waits.
    return isOpen() ? 0 : EBADF;
}

} // namespace platform
