#include "platform/NetworkSerialDevice.h"

#include "platform/AddressRace.h"
#include "platform/ClosingLinks.h"
#include "platform/GensioStack.h"
#include "platform/NetworkFailures.h"
#include "platform/PeerAddress.h"
#include "platform/PortNames.h"
#include "platform/ServerWords.h"
#include "platform/TlsFailures.h"
#include "platform/TlsFloor.h"
#include "platform/TlsProbe.h"

#include <gensio/gensio.h>
#include <gensio/sergensio.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <utility>

namespace platform {

namespace {

// How long a plain entry's server that turned us away is asked whether it
// speaks TLS.
constexpr std::chrono::milliseconds ProbeLimit{2000};

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

int NetworkSerialDevice::open(const std::string& comName)
{
    if (isOpen()) return EBUSY;
    endStack();
    comName_ = comName;
    peer_.clear();
    openingBytes_.clear();
    connectedAddress_ = {};
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
        dropReported_ = false;
    }
    {
        std::lock_guard lock(mutex_);
        opened_ = false;
        openError_ = 0;
        input_.clear();
        reading_ = false;
        farewell_.clear();
        onlyText_ = true;
        pendingEvents_ = 0;
        modemStatus_ = 0;
        answersOfLine_ = {};
        tlsReason_.clear();
        serverShown_ = false;
        serverJudged_ = false;
        earliest_.clear();
        diagnosis_.clear();
    }

    // Before gensio makes its first TLS context.
    if (address_.tls && !enforceTlsFloor())
        return fail(EPROTO, "OpenSSL does not take the TLS protocol floor (TLS 1.2 with forward secrecy)");
    trustFile_ = !address_.tls ? std::string() : !address_.ca.empty() ? address_.ca : systemTrustFile();
    if (address_.tls && trustFile_.empty())
        return fail(EINVAL, "the entry has no ca= and this system has no CA file ($SSL_CERT_FILE or "
                            + defaultTrustFile() + "): write ca= the CA (or the certificate) the "
                            "server's certificate comes from");
    const auto deadline = Clock::now() + ConnectLimit;
    ConnectionWaitScope scope(*connectionWait_, peer_);
    if (!GensioLoop::use()) return fail(ENOMEM, "cannot start the network handler");
    usingLoop_ = true;
    GensioLoop::listen(*this);
    int error = wake_.open();
    if (error == 0) error = answers_.open();
    if (error != 0) {
        endStack();
        return fail(error, "cannot make the wake event");
    }
    // A connection of ours to this server that is still closing holds the one
    // place of a server that takes a client at a time: it would turn us away.
    ClosingLinks::watch(answers_);
    error = awaitAnswer(deadline, [this] { return !ClosingLinks::closing(peer_); });
    ClosingLinks::forget(answers_);
    if (error == ECANCELED) {
        endStack();
        return connectFailure(error, "");
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
    connectedAddress_ = addresses[winner];
    NetworkAddress numeric = address_;
    numeric.host = addresses[winner].text();
    // gensio would trust no store of its own without ca=.
    numeric.ca = trustFile_;
    if (!gensioStack(numeric, stack, problem)) {
        ::close(connected);
        endStack();
        return fail(EINVAL, problem);
    }
    route_ = std::make_shared<Route>();
    route_->device = this;
    if (const int made = str_to_gensio(stack.c_str(), GensioLoop::funcs(), onEvent, route_.get(), &io_)) {
        ::close(connected);
        io_ = nullptr;
        endStack();
        return openFailure(made);
    }
    // The server is judged during the handshake, which may start before
    // gensio_open returns: the number gensio gives the socket is known by then.
    handshakeSocket_ = -1;
    GensioLoop::adopt(connected, &handshakeSocket_);
    const int started = gensio_open(
        io_,
        [](gensio*, int error, void* route) {
            through(route, [error](NetworkSerialDevice& device) {
                {
                    std::lock_guard lock(device.mutex_);
                    device.opened_ = true;
                    device.openError_ = error;
                }
                device.answers_.signal();
            });
        },
        route_.get());
    // gensio's own from here on (the number known for the queue counts), its
    // liveness set already.
    connected = GensioLoop::takeConnected();
    if (address_.protocol == NetworkAddress::Protocol::Rfc2217) {
        GensioLoop::countEarlyBytes(connected);
        earlyCounted_ = connected;
    }
    error = started ? 0 : awaitAnswer(deadline, [this] { return opened_; });
    handshakeSocket_ = -1;
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
    peerLoopback_ = isLoopbackPeer(connected);
    // Before the reading starts: the words of a server that hangs up at once
    // are this connection's, and stay.
    forgetNetworkFailure(comName_);
    {
        std::lock_guard lock(mutex_);
        reading_ = true;
        gensio_set_read_callback_enable(io_, true);
    }
    if (address_.protocol == NetworkAddress::Protocol::Rfc2217) {
        const int refused = confirmRfc2217(deadline);
        // What the server sent before it refused: the bytes read, and those
        // still waiting on the socket, which gensio's thread may not have read
        // yet on a busy machine. The socket is asked first, while the count
        // still runs, so that a byte read between the two is not missed.
        int waiting = 0;
        if (refused && ::ioctl(socket_, FIONREAD, &waiting) != 0) waiting = 0;
        const std::size_t early = GensioLoop::endEarlyCount(std::exchange(earlyCounted_, -1))
                                  + static_cast<std::size_t>(std::max(waiting, 0));
        if (refused && early > FloodLimit && !address_.tls) {
            endStack();
            return fail(EPROTONOSUPPORT, "the server sent data instead of agreeing to RFC 2217: its accepter is raw "
                                         "(write tcp://), or the port is another service's");
        }
        if (refused) {
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
    const auto answered = [](sergensio*, int error, unsigned, void* route) {
        through(route, [error](NetworkSerialDevice& device) {
            {
                std::lock_guard lock(device.mutex_);
                device.queried_ = true;
                device.queryError_ = error;
            }
            device.answers_.signal();
        });
    };
    int error = !serial_ ? GE_NOTSUP : sergensio_baud(serial_, 0, answered, route_.get());
    if (error == 0) {
        error = awaitAnswer(deadline, [this] { return queried_ || gone_; });
        if (error == ETIMEDOUT)
            return fail(error, "the server did not answer the Telnet negotiation; for rfc2217:// its accepter must be "
                               "telnet(rfc2217), for a raw accepter write tcp://");
        if (error == ECANCELED) return fail(error, "connecting to " + peer_ + " was cancelled");
        if (gone_) {
            if (const int tls = plainToTlsPort()) return tls;
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
    if (error != 0 && plainToTlsPort() != 0) return EPROTO;
    if (error != 0)
        return fail(EPROTONOSUPPORT, "the server refuses RFC 2217 (COM-PORT-OPTION); its accepter must be "
                                     "telnet(rfc2217), or write tcp:// to leave the line to the server");
    return 0;
}

// A plain entry whose server answered in TLS: the fix is +tls, whatever
// else the failure looked like. EPROTO with its diagnosis, or 0.
int NetworkSerialDevice::plainToTlsPort()
{
    if (address_.tls) return 0;
    std::string earliest;
    {
        std::lock_guard lock(mutex_);
        // A server that said why it turned us away said it in plain words.
        if (onlyText_ && !serverWords(farewell_).empty()) return 0;
        earliest = earliest_;
    }
    if (!looksLikeTls(earliest) && !looksLikeTls(openingBytes_)) {
        // A server of one client at a time answers nobody else while our
        // connection lasts: it ends first.
        handOverConnection();
        ClosingLinks::watch(answers_);
        awaitAnswer(Clock::now() + ProbeLimit, [this] { return !ClosingLinks::closing(peer_); });
        ClosingLinks::forget(answers_);
        if (!speaksTls(connectedAddress_, ProbeLimit)) return 0;
    }
    NetworkAddress secure = address_;
    secure.tls = true;
    return fail(EPROTO, "the server speaks TLS on this port: write " + secure.url() + " and ca= the CA (or the "
                        "certificate) of the server");
}

// gensio's error of an opening, as the system's code and the words of a diagnosis.
int NetworkSerialDevice::openFailure(int gensioError)
{
    std::string reason;
    std::string words;
    bool serverShown = false;
    {
        std::lock_guard lock(mutex_);
        reason = tlsReason_;
        words = onlyText_ ? serverWords(farewell_) : std::string();
        serverShown = serverShown_;
    }
    // Words that came while gensio's Telnet was still opening never reached
    // us; the bytes read from the socket hold them (under TLS they are
    // ciphertext, and lost).
    if (words.empty() && !address_.tls && address_.protocol == NetworkAddress::Protocol::Rfc2217)
        words = serverWords(withoutTelnetCommands(openingBytes_));
    if (address_.tls) {
        std::string problem;
        if (describeTlsFailure(gensioError, reason, address_, serverShown, problem)) return fail(EPROTO, problem);
    }
    switch (gensioError) {
    case GE_CONNREFUSE: return fail(ECONNREFUSED, "nothing listens at " + peer_);
    case GE_TIMEDOUT: return fail(ETIMEDOUT, peer_ + " did not answer within the time limit");
    case GE_NOMEM: return fail(ENOMEM, "out of memory");
    case GE_REMCLOSE:
    case GE_COMMERR:
    case GE_IOERR:
        if (const int tls = words.empty() ? plainToTlsPort() : 0) return tls;
        return fail(ECONNRESET, serverClosedConnection(words));
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

int NetworkSerialDevice::awaitAnswer(Clock::time_point deadline, const std::function<bool()>& done)
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

// The connection, if there is one, goes to ClosingLinks with its use of the
// loop (gensio runs there until it is freed).
void NetworkSerialDevice::handOverConnection()
{
    if (route_) {
        std::lock_guard lock(route_->mutex);
        route_->device = nullptr;
    }
    if (io_) {
        const int fd = socket_.load();
        const int socket = fd >= 0 ? ::fcntl(fd, F_DUPFD_CLOEXEC, 0) : -1;
        ClosingLinks::handOver(io_, route_, socket, peer_);
        usingLoop_ = false;
        io_ = nullptr;
        serial_ = nullptr;
    }
    route_.reset();
}

// Closes what an opening made, whether or not it got as far as a connection.
// The connection goes to ClosingLinks, which ends it off this thread, with
// its own duplicate of the socket to see the server let go.
void NetworkSerialDevice::endStack()
{
    GensioLoop::stopListening(*this);
    if (earlyCounted_ >= 0) GensioLoop::endEarlyCount(std::exchange(earlyCounted_, -1));
    handOverConnection();
    if (std::exchange(usingLoop_, false)) GensioLoop::stopUsing();
    socket_ = -1;
    wake_.close();
    answers_.close();
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
