#include "platform/NetworkSerialDevice.h"

#include "platform/LineSettings.h"
#include "platform/NetworkFailures.h"
#include "platform/PortNames.h"
#include "platform/TcpConnector.h"

#include <algorithm>
#include <cerrno>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {

namespace {

// How long closing waits for the server to see our end after our last bytes.
constexpr std::chrono::milliseconds CloseLimit{500};

// Brackets the waits of one opening or setting, so that a window's box spans
// all of them.
class WaitScope {
public:
    WaitScope(ConnectionWait& wait, const std::string& peer)
        : wait_(wait)
    {
        wait_.begin(peer);
    }
    ~WaitScope() { wait_.end(); }
    WaitScope(const WaitScope&) = delete;
    WaitScope& operator=(const WaitScope&) = delete;

private:
    ConnectionWait& wait_;
};

// What a server said before it closed the connection ("Port already in use",
// say), printable and short, for the diagnosis.
std::string serverWords(const std::string& received)
{
    std::string words;
    for (const char c : received) {
        if (c >= 0x20 && c < 0x7f) words += c;
        else if (!words.empty() && words.back() != ' ') words += ' ';
    }
    while (!words.empty() && words.back() == ' ') words.pop_back();
    return words;
}

// A server's words are a line of text; a connection that has carried anything
// else carried the device's data, and what came last is no farewell.
bool isText(char c)
{
    return (c >= 0x20 && c < 0x7f) || c == '\r' || c == '\n' || c == '\t';
}

// Acknowledges what came in at once rather than up to 40 ms later. A server
// that sends its answers in several small writes and waits for each to be
// acknowledged before the next (Nagle's rule) would otherwise make an opening
// take that much longer. The kernel forgets the setting as it goes, so it is
// given again after each read.
void quickAck(int fd)
{
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
}

} // namespace

NetworkSerialDevice::NetworkSerialDevice(std::shared_ptr<ConnectionWait> wait)
    : connectionWait_(wait ? std::move(wait) : std::make_shared<PollConnectionWait>())
{
}

NetworkSerialDevice::~NetworkSerialDevice()
{
    if (isOpen()) close();
}

std::string NetworkSerialDevice::diagnosis() const
{
    std::lock_guard lock(mutex_);
    return diagnosis_;
}

int NetworkSerialDevice::fail(int error, const std::string& problem)
{
    recordNetworkFailure(comName_, error, problem);
    std::lock_guard lock(mutex_);
    diagnosis_ = comName_ + (peer_.empty() ? "" : " (" + peer_ + ")") + ": " + problem;
    return error;
}

int NetworkSerialDevice::open(const std::string& comName)
{
    if (isOpen()) return EBUSY;
    comName_ = comName;
    peer_.clear();
    const std::string path = resolvePortName(comName);
    if (path.empty()) return fail(ENOENT, "no entry in the port directory");
    std::string problem;
    if (const int error = readNetworkEntry(path, address_, problem)) return fail(error, problem);
    peer_ = address_.hostPort();

    const auto deadline = Clock::now() + ConnectLimit;
    WaitScope scope(*connectionWait_, peer_);
    const TcpConnector::Result connection = TcpConnector().connect(address_, *connectionWait_, deadline);
    if (connection.error != 0) return fail(connection.error, connection.problem);
    if (const int error = wake_.open()) {
        ::close(connection.fd);
        return fail(error, "cannot make the wake event");
    }

    released_ = false;
    gone_ = false;
    goneError_ = 0;
    goneReported_ = false;
    outputDrain_.reset();
    {
        std::lock_guard lock(writeMutex_);
        unsent_.clear();
        pending_.clear();
        frontWireSent_ = 0;
        frontDataWire_ = 0;
        frontDataSent_ = 0;
        sent_.clear();
    }
    {
        std::lock_guard lock(mutex_);
        input_.clear();
        farewell_.clear();
        onlyText_ = true;
        pendingEvents_ = 0;
        reader_ = Reader::None;
        comPort_ = {};
        telnet_.reset();
        if (address_.protocol == NetworkAddress::Protocol::Rfc2217)
            telnet_.emplace(std::initializer_list<std::uint8_t>{TelnetCodec::Binary, TelnetCodec::ComPort},
                            std::initializer_list<std::uint8_t>{TelnetCodec::Binary});
        diagnosis_.clear();
    }
    fd_ = connection.fd;
    if (telnet_) {
        if (const int error = negotiate(deadline)) {
            shutDown(fd_.exchange(-1));
            wake_.close();
            return error;
        }
    }
    forgetNetworkFailure(comName_);
    return 0;
}

// BINARY both ways, so that every byte passes as it is, and COM-PORT-OPTION on
// our side, so that the line settings can travel. The server usually offers
// them itself; our requests and its offers cross, which Telnet takes as
// agreement.
int NetworkSerialDevice::negotiate(Clock::time_point deadline)
{
    std::string start;
    {
        std::lock_guard lock(mutex_);
        start = telnet_->start();
    }
    if (const int error = send(start, AnswerLimit.count() * 1000)) return fail(error, "the connection failed as it began");
    const int error = awaitAnswers(deadline, [this] { return telnet_->settled(); });
    if (error == ETIMEDOUT)
        return fail(error, "the server did not answer the Telnet negotiation; for rfc2217:// its accepter must be "
                           "telnet(rfc2217), for a raw accepter write tcp://");
    if (error == ECONNRESET) {
        std::string words;
        {
            std::lock_guard lock(mutex_);
            words = serverWords(farewell_);
        }
        return fail(error, serverClosedConnection(words));
    }
    if (error != 0) return fail(error, "the Telnet negotiation failed");
    if (!telnet_->ours(TelnetCodec::ComPort))
        return fail(EPROTONOSUPPORT, "the server refuses RFC 2217 (COM-PORT-OPTION); its accepter must be "
                                     "telnet(rfc2217), or write tcp:// to leave the line to the server");
    if (!telnet_->ours(TelnetCodec::Binary) || !telnet_->his(TelnetCodec::Binary))
        return fail(EPROTONOSUPPORT, "the server refuses binary transmission, without which bytes would not pass as "
                                     "they are");
    return 0;
}

// Reads the socket until `done` holds (checked under the lock), the connection
// fails or `deadline` passes. While the event thread's wait reads the socket,
// this leaves the reading to it and is told of each arrival.
template <class Done>
int NetworkSerialDevice::awaitAnswers(Clock::time_point deadline, Done done)
{
    std::unique_lock lock(mutex_);
    for (;;) {
        if (done()) return 0;
        if (gone_) return goneError_;
        if (Clock::now() >= deadline) return ETIMEDOUT;
        if (reader_ != Reader::None) {
            changed_.wait_until(lock, deadline);
            continue;
        }
        reader_ = Reader::Answers;
        lock.unlock();
        const int fd = fd_.load();
        int error = connectionWait_->wait(fd, POLLIN, deadline);
        if (error == 0) error = receive(fd);
        if (error != 0 && error != ETIMEDOUT && error != ECANCELED) markGone(error);
        lock.lock();
        reader_ = Reader::None;
        changed_.notify_all();
        // Otherwise the next pass tells: what came before an end still counts.
        if (error == ECANCELED) return error;
    }
}

int NetworkSerialDevice::setupQueues(std::uint32_t inQueue, std::uint32_t)
{
    if (!isOpen()) return EBADF;
    std::lock_guard lock(mutex_);
    input_.setCapacity(inQueue);
    return 0;
}

int NetworkSerialDevice::applySettings(const DeviceControl& settings)
{
    LineSettings line;
    if (const int error = LineSettings::from(settings, line)) return error;
    if (!isOpen()) return EBADF;
    // Raw TCP has no way to tell the server: its own configuration sets the line.
    if (!telnet_) return 0;

    std::string requests;
    {
        std::lock_guard lock(mutex_);
        requests = comPort_.requestLine(line);
    }
    WaitScope scope(*connectionWait_, peer_);
    if (const int error = send(requests, AnswerLimit.count() * 1000)) return fail(error, "the line settings did not go out");
    const int error = awaitAnswers(Clock::now() + AnswerLimit, [this] { return comPort_.lineAnswered(); });
    if (error == ETIMEDOUT) return fail(error, "the server did not answer the line settings");
    if (error != 0) return fail(error, "the connection failed while the line was set");
    std::string refusals;
    {
        std::lock_guard lock(mutex_);
        refusals = comPort_.lineRefusals();
    }
    if (!refusals.empty()) return fail(EINVAL, "the server set " + refusals);
    std::lock_guard lock(mutex_);
    diagnosis_.clear();
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
    int fd = -1;
    {
        std::unique_lock lock(mutex_);
        fd = fd_.load();
        if (fd < 0) return EBADF;
        inWait_ = true;
        changed_.wait(lock, [this] { return reader_ == Reader::None || released_; });
        if (!released_) reader_ = Reader::Waiter;
    }
    const int result = released_ ? 0 : waitLoop(fd, events);
    {
        std::lock_guard lock(mutex_);
        if (reader_ == Reader::Waiter) reader_ = Reader::None;
        inWait_ = false;
    }
    changed_.notify_all();
    return result;
}

int NetworkSerialDevice::waitLoop(int fd, std::uint32_t& events)
{
    for (;;) {
        if (released_) return 0;
        bool pollInput = false;
        bool pollOutput = false;
        {
            std::lock_guard lock(mutex_);
            // Bytes that came before the end are delivered before it is told.
            events = pendingEvents_ & mask_;
            pendingEvents_ = 0;
            if (sentLate_.exchange(false)) events |= EvSentLate;
            pollInput = input_.room() > 0;
        }
        if (events != 0) return 0;
        if (gone_) {
            if (!goneReported_) {
                goneReported_ = true;
                return goneError_;
            }
        } else {
            std::lock_guard lock(writeMutex_);
            pollOutput = !unsent_.empty();
        }

        // A connection that has ended is no longer polled: it would be ready on
        // every call.
        const bool pollSocket = !gone_ && (pollInput || pollOutput);
        pollfd fds[2] = {{wake_.fd(), POLLIN, 0},
                         {fd, static_cast<short>((pollInput ? POLLIN : 0) | (pollOutput ? POLLOUT : 0)), 0}};
        const int timeout = !gone_ && outputDrain_.pending() ? outputDrain_.lookAgainMs() : -1;
        const int ready = ::poll(fds, pollSocket ? 2 : 1, timeout);
        if (ready < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (fds[0].revents & POLLIN) wake_.clear();
        if (released_) return 0;
        if (gone_) continue;

        int error = 0;
        if (pollSocket && (fds[1].revents & POLLOUT)) {
            std::lock_guard lock(writeMutex_);
            // Whatever the socket does not take now waits for its next POLLOUT.
            if (const int flushed = flushUnsent(fd, Clock::now(), false); flushed != ETIMEDOUT) error = flushed;
        }
        if (error == 0 && pollSocket && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) error = receive(fd);
        if (error != 0) {
            markGone(error);
            continue;
        }
        const std::uint32_t empty = checkOutputEmpty(fd);
        std::lock_guard lock(mutex_);
        pendingEvents_ |= empty;
    }
}

// Takes what the socket holds, as far as the input queue has room, through
// the Telnet codec where there is one, and sends its replies.
int NetworkSerialDevice::receive(int fd)
{
    char raw[4096];
    std::string replies;
    int error = 0;
    for (;;) {
        std::size_t room = 0;
        {
            std::lock_guard lock(mutex_);
            room = input_.room();
        }
        if (room == 0) break;
        // Telnet never turns fewer bytes into more, so the queue cannot overflow.
        const std::size_t want = std::min(room, sizeof raw);
        const ssize_t got = ::recv(fd, raw, want, 0);
        quickAck(fd);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        if (got <= 0) {
            // An orderly end and a reset alike: the server is gone.
            error = got < 0 && errno != EPIPE ? errno : ECONNRESET;
            sayServerClosed(error);
            break;
        }
        {
            std::lock_guard lock(mutex_);
            const std::size_t before = input_.size();
            const std::string_view arrived(raw, static_cast<std::size_t>(got));
            if (telnet_) {
                TelnetCodec::Received received;
                telnet_->receive(std::string_view(raw, static_cast<std::size_t>(got)), received);
                input_.append(received.data);
                keepFarewell(received.data);
                replies += received.reply;
                for (const auto& sb : received.subnegotiations)
                    if (sb.option == TelnetCodec::ComPort) comPort_.receive(sb.payload);
                pendingEvents_ |= comPort_.takeEvents();
            } else {
                input_.append(arrived);
                keepFarewell(arrived);
            }
            if (input_.size() > before) pendingEvents_ |= EvRxChar;
        }
        changed_.notify_all();
        if (static_cast<std::size_t>(got) < want) break;
    }
    if (!replies.empty() && error == 0) error = send(replies, AnswerLimit.count() * 1000);
    return error;
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

int NetworkSerialDevice::send(std::string_view bytes, unsigned timeoutMs)
{
    return send(bytes, {}, timeoutMs, false);
}

int NetworkSerialDevice::send(std::string_view bytes, std::string_view data, unsigned timeoutMs, bool byWrite)
{
    std::lock_guard lock(writeMutex_);
    const int fd = fd_.load();
    if (fd < 0) return EBADF;
    if (gone_) return goneError_;
    // What a write that timed out left goes first, or the stream would be
    // out of order (and, with Telnet, could split a command).
    unsent_.append(bytes);
    pending_.push_back({bytes.size(), std::string(data), telnet_.has_value()});
    return flushUnsent(fd, Clock::now() + std::chrono::milliseconds(timeoutMs), byWrite);
}

// Moves the written bytes among the first `wire` bytes of unsent_, which have
// just gone out, to sent_. With Telnet a written 0xFF is two bytes on the wire
// and counts as gone once both are. The caller holds writeMutex_.
bool NetworkSerialDevice::accountSent(std::size_t wire)
{
    const std::size_t before = sent_.size();
    while (wire > 0 && !pending_.empty()) {
        const Pending& front = pending_.front();
        const std::size_t step = std::min(wire, front.wire - frontWireSent_);
        frontWireSent_ += step;
        wire -= step;
        while (frontDataSent_ < front.data.size()) {
            const char c = front.data[frontDataSent_];
            const std::size_t cost = front.doubled && static_cast<unsigned char>(c) == 0xFF ? 2 : 1;
            if (frontDataWire_ + cost > frontWireSent_) break;
            frontDataWire_ += cost;
            ++frontDataSent_;
            sent_ += c;
        }
        if (frontWireSent_ < front.wire) break;
        pending_.pop_front();
        frontWireSent_ = 0;
        frontDataWire_ = 0;
        frontDataSent_ = 0;
    }
    return sent_.size() > before;
}

void NetworkSerialDevice::takeSent(std::string& bytes)
{
    std::lock_guard lock(writeMutex_);
    bytes += sent_;
    sent_.clear();
}

// Sends unsent_ until it is gone or `deadline` passes. The caller holds
// writeMutex_. Written bytes that go out other than in the write that brought
// them are news for the waiter to tell (EvSentLate).
int NetworkSerialDevice::flushUnsent(int fd, Clock::time_point deadline, bool byWrite)
{
    std::size_t done = 0;
    int result = 0;
    while (done < unsent_.size()) {
        const ssize_t wrote = ::send(fd, unsent_.data() + done, unsent_.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (wrote > 0) {
            done += static_cast<std::size_t>(wrote);
            continue;
        }
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            result = errno == EPIPE ? ECONNRESET : errno;
            break;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            result = ETIMEDOUT;
            break;
        }
        pollfd entry {fd, POLLOUT, 0};
        if (::poll(&entry, 1, static_cast<int>(left)) < 0 && errno != EINTR) {
            result = errno;
            break;
        }
    }
    unsent_.erase(0, done);
    if (accountSent(done) && !byWrite) sentLate_ = true;
    if (done > 0) {
        outputDrain_.wrote();
        wake_.signal();
    }
    if (result != 0 && result != ETIMEDOUT) markGone(result);
    return result;
}

std::uint32_t NetworkSerialDevice::checkOutputEmpty(int fd)
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
    if (::ioctl(fd, SIOCOUTQ, &queued) != 0) queued = 0;
    bool unsent = false;
    {
        std::lock_guard lock(writeMutex_);
        unsent = !unsent_.empty();
    }
    return outputDrain_.drained(queued == 0 && !unsent, queued, 1) ? std::uint32_t{EvTxEmpty} : 0u;
}

void NetworkSerialDevice::markGone(int error)
{
    int none = 0;
    // The reason is in place before anyone can see the connection gone.
    if (goneError_.compare_exchange_strong(none, error)) gone_ = true;
    {
        std::lock_guard lock(mutex_);
    }
    changed_.notify_all();
    wake_.signal();
}

int NetworkSerialDevice::release()
{
    released_ = true;
    {
        std::lock_guard lock(mutex_);
    }
    changed_.notify_all();
    return wake_.signal();
}

int NetworkSerialDevice::modemStatus(std::uint32_t& status)
{
    status = 0;
    if (!isOpen()) return EBADF;
    // Raw TCP tells nothing of the lines: all read as low.
    std::lock_guard lock(mutex_);
    if (telnet_) status = comPort_.modemStatus();
    return 0;
}

int NetworkSerialDevice::queueCounts(CommStatus& status)
{
    status = {};
    const int fd = fd_.load();
    if (fd < 0) return EBADF;
    int socketIn = 0;
    int socketOut = 0;
    if (::ioctl(fd, FIONREAD, &socketIn) != 0) return errno;
    if (::ioctl(fd, SIOCOUTQ, &socketOut) != 0) return errno;
    std::size_t unsent = 0;
    {
        std::lock_guard lock(writeMutex_);
        unsent = unsent_.size();
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
    bool resume = false;
    {
        std::lock_guard lock(mutex_);
        const bool wasFull = input_.full();
        count = input_.take(data, size);
        resume = wasFull && !input_.full();
    }
    // The wait has not polled the socket for input while the queue was full.
    if (resume) wake_.signal();
    return 0;
}

int NetworkSerialDevice::write(const char* data, std::size_t size, unsigned timeoutMs, std::size_t& taken)
{
    taken = 0;
    if (!isOpen()) return EBADF;
    const std::string_view bytes(data, size);
    const int error = send(telnet_ ? TelnetCodec::escape(bytes) : std::string(bytes), bytes, timeoutMs, true);
    // A write that timed out keeps its rest and sends it first thing later.
    if (error == 0 || error == ETIMEDOUT) taken = size;
    // However the connection ended (a reset, a peer that stopped answering),
    // a write that finds it gone says so in the one way that means "gone".
    return gone_ ? ECONNRESET : error;
}

int NetworkSerialDevice::setControlLine(ControlLine line, bool on)
{
    if (!isOpen()) return EBADF;
    // Raw TCP has no way to tell the server: its device keeps its lines.
    if (!telnet_) return 0;
    return send(ComPortClient::requestControlLine(line == ControlLine::Dtr, on), AnswerLimit.count() * 1000);
}

int NetworkSerialDevice::abort()
{
    // Nothing is ever pending between our calls: a write finishes or times out
    // before it returns and a read never waits.
    return isOpen() ? 0 : EBADF;
}

int NetworkSerialDevice::close()
{
    const int fd = fd_.load();
    if (fd < 0) return EBADF;
    release();
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return !inWait_ && reader_ == Reader::None; });
        fd_ = -1;
    }
    shutDown(fd);
    wake_.close();
    return 0;
}

// Ends the connection so that what we sent last (DTR and RTS dropping, a last
// frame) still reaches the server: our end first, then, for a short while,
// whatever the server still sends until it ends its own. Closing at once with
// unread bytes would reset the connection and could lose ours.
void NetworkSerialDevice::shutDown(int fd)
{
    if (!gone_ && ::shutdown(fd, SHUT_WR) == 0) {
        const auto deadline = Clock::now() + CloseLimit;
        char discard[512];
        for (;;) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            pollfd entry {fd, POLLIN, 0};
            if (left <= 0 || ::poll(&entry, 1, static_cast<int>(left)) <= 0) break;
            const ssize_t got = ::recv(fd, discard, sizeof discard, MSG_DONTWAIT);
            if (got == 0 || (got < 0 && errno != EINTR && errno != EAGAIN)) break;
        }
    }
    ::close(fd);
}

} // namespace platform
