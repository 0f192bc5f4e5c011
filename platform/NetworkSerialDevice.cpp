#include "platform/NetworkSerialDevice.h"

#include "platform/AddressRace.h"
#include "platform/GensioStack.h"
#include "platform/LineSettings.h"
#include "platform/NetworkFailures.h"
#include "platform/PortNames.h"
#include "platform/TlsFailures.h"

#include <gensio/gensio.h>
#include <gensio/sergensio.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <linux/sockios.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace platform {

namespace {

// How long closing waits for gensio to hand over our last bytes and end the
// connection.
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

// Telnet's data with its commands (negotiations, subnegotiations) left out.
std::string withoutTelnetCommands(const std::string& bytes)
{
    constexpr unsigned char Iac = 255, Sb = 250, Se = 240, Will = 251, Dont = 254;
    std::string data;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (byte != Iac) {
            data += bytes[i];
            continue;
        }
        const auto command = i + 1 < bytes.size() ? static_cast<unsigned char>(bytes[i + 1]) : 0;
        if (command == Iac) {
            data += bytes[++i];
        } else if (command == Sb) {
            // To IAC SE.
            for (i += 2; i + 1 < bytes.size() && !(static_cast<unsigned char>(bytes[i]) == Iac
                                                  && static_cast<unsigned char>(bytes[i + 1]) == Se); ++i) {}
            ++i;
        } else {
            i += command >= Will && command <= Dont ? 2 : 1;
        }
    }
    return data;
}

// RFC 2217's codes for parity, stop size and flow control.
std::uint32_t parityCode(LineSettings::Parity parity)
{
    switch (parity) {
    case LineSettings::Parity::None: return SERGENSIO_PARITY_NONE;
    case LineSettings::Parity::Odd: return SERGENSIO_PARITY_ODD;
    case LineSettings::Parity::Even: return SERGENSIO_PARITY_EVEN;
    case LineSettings::Parity::Mark: return SERGENSIO_PARITY_MARK;
    case LineSettings::Parity::Space: return SERGENSIO_PARITY_SPACE;
    }
    return SERGENSIO_PARITY_NONE;
}

std::uint32_t stopSizeCode(LineSettings::StopBits stopBits)
{
    switch (stopBits) {
    case LineSettings::StopBits::One: return 1;
    case LineSettings::StopBits::Two: return 2;
    case LineSettings::StopBits::OneAndAHalf: return 3;
    }
    return 1;
}

// One flow control at a time; the component never asks for more.
std::uint32_t flowCode(const LineSettings& line)
{
    if (line.ctsFlow) return SERGENSIO_FLOWCONTROL_RTS_CTS;
    if (line.dsrFlow) return SERGENSIO_FLOWCONTROL_DSR;
    if (line.xonXoffOut || line.xonXoffIn) return SERGENSIO_FLOWCONTROL_XON_XOFF;
    return SERGENSIO_FLOWCONTROL_NONE;
}

std::uint32_t modemStatusOf(unsigned state)
{
    std::uint32_t status = 0;
    if (state & SERGENSIO_MODEMSTATE_CTS) status |= MsCtsOn;
    if (state & SERGENSIO_MODEMSTATE_DSR) status |= MsDsrOn;
    if (state & SERGENSIO_MODEMSTATE_RI) status |= MsRingOn;
    if (state & SERGENSIO_MODEMSTATE_CD) status |= MsRlsdOn;
    return status;
}

} // namespace

NetworkSerialDevice::NetworkSerialDevice(std::shared_ptr<ConnectionWait> wait)
    : connectionWait_(wait ? std::move(wait) : std::make_shared<PollConnectionWait>())
{
}

NetworkSerialDevice::~NetworkSerialDevice()
{
    if (isOpen()) close();
    endStack();
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

void NetworkSerialDevice::logged(const std::string& line)
{
    std::lock_guard lock(mutex_);
    if (tlsReason_.size() < 1024) tlsReason_ += (tlsReason_.empty() ? "" : "; ") + line;
}

// The server's certificate has been checked against the entry's CA; the name
// it must hold is ours to check (gensio leaves that to its user).
int NetworkSerialDevice::verifyServer(int error, const char* reason)
{
    if (error != 0) {
        std::lock_guard lock(mutex_);
        tlsReason_ = std::string(gensio_err_to_str(error)) + ": " + reason + (tlsReason_.empty() ? "" : "; ") + tlsReason_;
        return GE_NOTSUP;
    }
    const std::string name = address_.serverName.empty() ? address_.host : address_.serverName;
    std::string text(16384, '\0');
    gensiods length = text.size();
    if (gensio_control(io_, GENSIO_CONTROL_DEPTH_FIRST, GENSIO_CONTROL_GET, GENSIO_CONTROL_CERT, text.data(), &length) != 0)
        length = 0;
    text.resize(std::min<std::size_t>(length, text.size()));
    if (certificateNames(text, name)) return 0;
    std::lock_guard lock(mutex_);
    tlsReason_ = TlsNameMismatch;
    return GE_AUTHREJECT;
}


int NetworkSerialDevice::open(const std::string& comName)
{
    if (isOpen()) return EBUSY;
    endStack();
    comName_ = comName;
    peer_.clear();
    openingBytes_.clear();
    const std::string path = resolvePortName(comName);
    if (path.empty()) return fail(ENOENT, "no entry in the port directory");
    std::string problem;
    address_ = NetworkAddress();
    if (const int error = readNetworkEntry(path, address_, problem)) return fail(error, problem);
    peer_ = address_.hostPort();
    std::string stack;
    if (!gensioStack(address_, stack, problem)) return fail(EINVAL, problem);

    released_ = false;
    gone_ = false;
    goneError_ = 0;
    goneReported_ = false;
    socket_ = -1;
    outputDrain_.reset();
    {
        std::lock_guard lock(writeMutex_);
        unsent_.clear();
        unsentHead_ = 0;
        sent_.clear();
        suspended_ = false;
    }
    {
        std::lock_guard lock(mutex_);
        opened_ = false;
        openError_ = 0;
        closed_ = false;
        input_.clear();
        reading_ = false;
        farewell_.clear();
        onlyText_ = true;
        pendingEvents_ = 0;
        modemStatus_ = 0;
        answersOfLine_ = {};
        tlsReason_.clear();
        diagnosis_.clear();
    }

    const auto deadline = Clock::now() + ConnectLimit;
    WaitScope scope(*connectionWait_, peer_);
    if (!GensioLoop::use()) return fail(ENOMEM, "cannot start the network handler");
    usingLoop_ = true;
    GensioLoop::listen(*this);
    int error = wake_.open();
    if (error == 0) error = answers_.open();
    if (error != 0) {
        endStack();
        return fail(error, "cannot make the wake event");
    }
    // The name is looked up and the addresses raced here, within the time
    // limit and through the wait; gensio gets the address that answered.
    std::vector<SocketAddress> addresses;
    problem.clear();
    error = lookUpHost(address_.host, address_.port, hosts_, *connectionWait_, deadline, addresses, problem);
    int connected = -1;
    std::size_t winner = 0;
    if (error == 0) error = AddressRace::connect(addresses, *connectionWait_, deadline, connected, winner);
    if (error != 0) {
        endStack();
        return connectFailure(error, problem);
    }
    NetworkAddress numeric = address_;
    numeric.host = addresses[winner].text();
    if (!gensioStack(numeric, stack, problem)) {
        ::close(connected);
        endStack();
        return fail(EINVAL, problem);
    }
    if (const int made = str_to_gensio(stack.c_str(), GensioLoop::funcs(), onEvent, this, &io_)) {
        ::close(connected);
        io_ = nullptr;
        endStack();
        return openFailure(made);
    }
    GensioLoop::adopt(connected);
    const int started = gensio_open(
        io_,
        [](gensio*, int error, void* self) {
            auto* device = static_cast<NetworkSerialDevice*>(self);
            {
                std::lock_guard lock(device->mutex_);
                device->opened_ = true;
                device->openError_ = error;
            }
            device->answers_.signal();
        },
        this);
    // gensio's own from here on (the number known for the queue counts), its
    // liveness set already.
    connected = GensioLoop::takeConnected();
    error = started ? 0 : awaitAnswer(deadline, [this] { return opened_; });
    openingBytes_ = GensioLoop::takeFirstBytes(connected);
    if (started) {
        endStack();
        return openFailure(started);
    }
    if (error != 0) {
        endStack();
        return fail(error, error == ETIMEDOUT ? peer_ + " did not answer within the time limit"
                                              : "connecting to " + peer_ + " was cancelled");
    }
    {
        std::lock_guard lock(mutex_);
        error = openError_;
    }
    if (error != 0) {
        const int failure = openFailure(error);
        endStack();
        return failure;
    }
    GensioLoop::stopListening(*this);
    socket_ = connected;
    // Before the reading starts: the words of a server that hangs up at once
    // are this connection's, and stay.
    forgetNetworkFailure(comName_);
    {
        std::lock_guard lock(mutex_);
        reading_ = true;
        gensio_set_read_callback_enable(io_, true);
    }
    if (address_.protocol == NetworkAddress::Protocol::Rfc2217) {
        if (const int refused = confirmRfc2217(deadline)) {
            endStack();
            return refused;
        }
    }
    open_ = true;
    return 0;
}

// gensio's Telnet is open once TCP is; whether the server speaks RFC 2217
// shows in its answer to a first request, the rate it has now. Then it is
// asked to tell of breaks and of every modem line as they change: the events
// a port's mask can ask for.
int NetworkSerialDevice::confirmRfc2217(Clock::time_point deadline)
{
    serial_ = gensio_to_sergensio(io_);
    {
        std::lock_guard lock(mutex_);
        queried_ = false;
        queryError_ = 0;
    }
    const auto answered = [](sergensio*, int error, unsigned, void* self) {
        auto* device = static_cast<NetworkSerialDevice*>(self);
        {
            std::lock_guard lock(device->mutex_);
            device->queried_ = true;
            device->queryError_ = error;
        }
        device->answers_.signal();
    };
    int error = !serial_ ? GE_NOTSUP : sergensio_baud(serial_, 0, answered, this);
    if (error == 0) {
        error = awaitAnswer(deadline, [this] { return queried_ || gone_; });
        if (error == ETIMEDOUT)
            return fail(error, "the server did not answer the Telnet negotiation; for rfc2217:// its accepter must be "
                               "telnet(rfc2217), for a raw accepter write tcp://");
        if (error == ECANCELED) return fail(error, "connecting to " + peer_ + " was cancelled");
        if (gone_) {
            std::string words;
            {
                std::lock_guard lock(mutex_);
                words = onlyText_ ? serverWords(farewell_) : std::string();
            }
            return fail(ECONNRESET, serverClosedConnection(words));
        }
        std::lock_guard lock(mutex_);
        error = queryError_;
    }
    if (error == 0) error = sergensio_linestate(serial_, SERGENSIO_LINESTATE_BREAK);
    if (error == 0) error = sergensio_modemstate(serial_, 0xFF);
    if (error != 0)
        return fail(EPROTONOSUPPORT, "the server refuses RFC 2217 (COM-PORT-OPTION); its accepter must be "
                                     "telnet(rfc2217), or write tcp:// to leave the line to the server");
    return 0;
}

// gensio's error of an opening, as the system's code and the words of a diagnosis.
int NetworkSerialDevice::openFailure(int gensioError)
{
    std::string reason;
    std::string words;
    {
        std::lock_guard lock(mutex_);
        reason = tlsReason_;
        words = onlyText_ ? serverWords(farewell_) : std::string();
    }
    // Words that came while gensio's Telnet was still opening never reached
    // us; the bytes read from the socket hold them (under TLS they are
    // ciphertext, and lost).
    if (words.empty() && !address_.tls && address_.protocol == NetworkAddress::Protocol::Rfc2217)
        words = serverWords(withoutTelnetCommands(openingBytes_));
    if (address_.tls) {
        std::string problem;
        if (describeTlsFailure(gensioError, reason, address_, problem)) return fail(EPROTO, problem);
    }
    switch (gensioError) {
    case GE_CONNREFUSE: return fail(ECONNREFUSED, "nothing listens at " + peer_);
    case GE_TIMEDOUT: return fail(ETIMEDOUT, peer_ + " did not answer within the time limit");
    case GE_NOMEM: return fail(ENOMEM, "out of memory");
    case GE_REMCLOSE:
    case GE_COMMERR:
    case GE_IOERR: return fail(ECONNRESET, serverClosedConnection(words));
    case GE_NOTFOUND:
    case GE_UNKNOWN_NAME_ERROR:
    case GE_NAME_ERROR:
    case GE_NAME_SERVER_FAILURE:
    case GE_NAME_INVALID:
    case GE_NAME_NET_NOT_UP:
        return fail(EHOSTUNREACH, "the host " + address_.host + " is unknown: " + gensio_err_to_str(gensioError));
    case GE_HOSTDOWN: return fail(EHOSTUNREACH, "connecting to " + peer_ + ": " + gensio_err_to_str(gensioError));
    default: return fail(EIO, "connecting to " + peer_ + ": " + gensio_err_to_str(gensioError));
    }
}

// What became of looking up the host or connecting to it, in words.
int NetworkSerialDevice::connectFailure(int error, const std::string& resolverWords)
{
    switch (error) {
    case EHOSTUNREACH:
        if (!resolverWords.empty()) return fail(error, "the host " + address_.host + " is unknown: " + resolverWords);
        return fail(error, "connecting to " + peer_ + ": " + std::strerror(error));
    case ENETUNREACH: return fail(EHOSTUNREACH, "connecting to " + peer_ + ": " + std::strerror(error));
    case ECONNREFUSED: return fail(error, "nothing listens at " + peer_);
    case ETIMEDOUT: return fail(error, peer_ + " did not answer within the time limit");
    case ECANCELED: return fail(error, "connecting to " + peer_ + " was cancelled");
    case ENOMEM: return fail(error, "out of memory");
    default: return fail(EIO, "connecting to " + peer_ + ": " + std::strerror(error));
    }
}

template <class Done>
int NetworkSerialDevice::awaitAnswer(Clock::time_point deadline, Done done)
{
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (done()) return 0;
        }
        const int error = connectionWait_->wait(answers_.fd(), POLLIN, deadline);
        if (error == ETIMEDOUT) {
            std::lock_guard lock(mutex_);
            return done() ? 0 : ETIMEDOUT;
        }
        if (error != 0) return error;
        answers_.clear();
    }
}

// Closes what an opening made, whether or not it got as far as a connection.
void NetworkSerialDevice::endStack()
{
    if (io_) {
        const int closing = gensio_close(
            io_,
            [](gensio*, void* self) {
                auto* device = static_cast<NetworkSerialDevice*>(self);
                std::lock_guard lock(device->mutex_);
                device->closed_ = true;
                device->changed_.notify_all();
            },
            this);
        if (closing == 0) {
            std::unique_lock lock(mutex_);
            changed_.wait_for(lock, CloseLimit * 4, [this] { return closed_; });
        }
        gensio_free(io_);
        io_ = nullptr;
        serial_ = nullptr;
    }
    GensioLoop::stopListening(*this);
    if (std::exchange(usingLoop_, false)) GensioLoop::stopUsing();
    socket_ = -1;
    wake_.close();
    answers_.close();
}

int NetworkSerialDevice::onEvent(gensio*, void* self, int event, int error, unsigned char* buffer,
                                 std::size_t* length, const char* const* auxiliary)
{
    return static_cast<NetworkSerialDevice*>(self)->event(event, error, buffer, length, auxiliary);
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

// The server's news of its line: a break, the modem lines, a request to hold
// or resume our output. (A PURGE-DATA from a server only answers a client's
// own, which we never send: gensio passes none on, and nothing is dropped.)
void NetworkSerialDevice::serialEvent(int event, unsigned value)
{
    if (event == GENSIO_EVENT_SER_FLOW_STATE) {
        std::lock_guard lock(writeMutex_);
        suspended_ = value != 0;
        if (!suspended_ && unsentHead_ < unsent_.size()) gensio_set_write_callback_enable(io_, true);
        return;
    }
    {
        std::lock_guard lock(mutex_);
        if (event == GENSIO_EVENT_SER_LINESTATE) {
            if (value & SERGENSIO_LINESTATE_BREAK) pendingEvents_ |= EvBreak;
        } else {
            // The state bits, and the delta bits, which also tell of a change
            // that came and went between two notifications.
            const std::uint32_t status = modemStatusOf(value);
            const std::uint32_t changed = status ^ modemStatus_;
            if ((changed & MsCtsOn) || (value & SERGENSIO_MODEMSTATE_CTS_CHANGED)) pendingEvents_ |= EvCts;
            if ((changed & MsDsrOn) || (value & SERGENSIO_MODEMSTATE_DSR_CHANGED)) pendingEvents_ |= EvDsr;
            if ((changed & MsRlsdOn) || (value & SERGENSIO_MODEMSTATE_CD_CHANGED)) pendingEvents_ |= EvRlsd;
            if (((changed & status) & MsRingOn) || (value & SERGENSIO_MODEMSTATE_RI_CHANGED)) pendingEvents_ |= EvRing;
            modemStatus_ = status;
        }
    }
    wake_.signal();
}

int NetworkSerialDevice::setupQueues(std::uint32_t inQueue, std::uint32_t)
{
    if (!isOpen()) return EBADF;
    std::lock_guard lock(mutex_);
    input_.setCapacity(inQueue);
    return 0;
}

template <int Item>
void NetworkSerialDevice::onAnswer(sergensio*, int error, unsigned value, void* self)
{
    auto* device = static_cast<NetworkSerialDevice*>(self);
    {
        std::lock_guard lock(device->mutex_);
        device->answersOfLine_.answered(static_cast<LineAnswers::Item>(Item), error == 0 ? value : 0);
    }
    device->answers_.signal();
}

int NetworkSerialDevice::applySettings(const DeviceControl& settings)
{
    LineSettings line;
    if (const int error = LineSettings::from(settings, line)) return error;
    if (!isOpen()) return EBADF;
    // Raw TCP has no way to tell the server: its own configuration sets the line.
    if (!serial_) return 0;

    const std::uint32_t values[LineAnswers::ItemCount] = {line.baud, line.dataBits, parityCode(line.parity),
                                                          stopSizeCode(line.stopBits), flowCode(line)};
    {
        std::lock_guard lock(mutex_);
        for (int item = 0; item < LineAnswers::ItemCount; ++item)
            answersOfLine_.asked(static_cast<LineAnswers::Item>(item), values[item]);
    }
    WaitScope scope(*connectionWait_, peer_);
    const int r1 = sergensio_baud(serial_, values[0], onAnswer<LineAnswers::Baud>, this);
    const int r2 = sergensio_datasize(serial_, values[1], onAnswer<LineAnswers::DataSize>, this);
    const int r3 = sergensio_parity(serial_, values[2], onAnswer<LineAnswers::Parity>, this);
    const int r4 = sergensio_stopbits(serial_, values[3], onAnswer<LineAnswers::StopSize>, this);
    // DSR flow is one of gensio's inbound kinds, though RFC 2217 counts it
    // for both directions.
    const int r5 = line.dsrFlow && !line.ctsFlow
        ? sergensio_iflowcontrol(serial_, SERGENSIO_FLOWCONTROL_DSR, onAnswer<LineAnswers::Flow>, this)
        : sergensio_flowcontrol(serial_, values[4], onAnswer<LineAnswers::Flow>, this);
    const int requested = r1 | r2 | r3 | r4 | r5;
    if (requested != 0) return fail(gone_ ? ECONNRESET : EIO, "the line settings did not go out");
    const int error = awaitAnswer(Clock::now() + AnswerLimit, [this] { return answersOfLine_.complete() || gone_; });
    if (error == ETIMEDOUT) return fail(error, "the server did not answer the line settings");
    if (error == 0 && gone_) return fail(ECONNRESET, "the connection failed while the line was set");
    if (error != 0) return fail(error, "the connection failed while the line was set");
    std::string refusals;
    {
        std::lock_guard lock(mutex_);
        refusals = answersOfLine_.refusals();
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
    if (!isOpen()) return EBADF;
    for (;;) {
        if (released_) return 0;
        {
            std::lock_guard lock(mutex_);
            // Bytes that came before the end are delivered before it is told.
            events = pendingEvents_ & mask_;
            pendingEvents_ = 0;
            if (sentLate_.exchange(false)) events |= EvSentLate;
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

int NetworkSerialDevice::modemStatus(std::uint32_t& status)
{
    status = 0;
    if (!isOpen()) return EBADF;
    // Raw TCP tells nothing of the lines: all read as low.
    std::lock_guard lock(mutex_);
    status = modemStatus_;
    return 0;
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
    // A write that timed out keeps its rest and sends it first thing later.
    if (error == 0 || error == ETIMEDOUT) taken = size;
    // However the connection ended (a reset, a peer that stopped answering),
    // a write that finds it gone says so in the one way that means "gone".
    return gone_ ? ECONNRESET : error;
}

int NetworkSerialDevice::setControlLine(ControlLine line, bool on)
{
    if (!isOpen()) return EBADF;
    // Raw TCP has no way to tell the server: its device keeps its lines. The
    // answer is not awaited: a server whose device has no such line (a
    // pseudo-terminal) sends none.
    if (!serial_) return 0;
    const int error = line == ControlLine::Dtr
        ? sergensio_dtr(serial_, on ? SERGENSIO_DTR_ON : SERGENSIO_DTR_OFF, nullptr, nullptr)
        : sergensio_rts(serial_, on ? SERGENSIO_RTS_ON : SERGENSIO_RTS_OFF, nullptr, nullptr);
    if (error != 0) return gone_ ? ECONNRESET : EIO;
    return 0;
}

int NetworkSerialDevice::abort()
{
    // Nothing is ever pending between our calls: a write finishes or times out
    // before it returns and a read never waits.
    return isOpen() ? 0 : EBADF;
}

// gensio's close hands over what it holds of our last bytes (DTR and RTS
// dropping, a last frame) before it ends the connection; closing does not
// purge the server's queues.
int NetworkSerialDevice::close()
{
    if (!open_.exchange(false)) return EBADF;
    release();
    endStack();
    return 0;
}

} // namespace platform
