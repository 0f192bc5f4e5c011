#include "platform/NetworkSerialDevice.h"
#include "platform/TlsFailures.h"

#include <gensio/gensio.h>

#include <algorithm>
#include <sys/socket.h>

namespace platform {

// The TLS checks of a network port: the server is judged by us, as soon as
// its certificate comes in the handshake.

std::string NetworkSerialDevice::serverCertificate() const
{
    std::string text(16384, '\0');
    gensiods length = text.size();
    if (gensio_control(io_, GENSIO_CONTROL_DEPTH_FIRST, GENSIO_CONTROL_GET, GENSIO_CONTROL_CERT, text.data(), &length) != 0)
        length = 0;
    text.resize(std::min<std::size_t>(length, text.size()));
    return text;
}

// gensio's client verifies nothing during the handshake, and would send our
// certificate and its signature to whoever answered, impostor or not, before
// judging the server after it. So the server is judged here, when its
// certificate has come and nothing of ours has gone yet. A refusal from this
// event does not stop OpenSSL: the connection is ended under it, and the
// handshake fails with our reason.
int NetworkSerialDevice::judgeServer()
{
    const std::string name = address_.serverName.empty() ? address_.host : address_.serverName;
    const std::string reason = judgeServerCertificate(serverCertificate(), trustFile_, name);
    std::lock_guard lock(mutex_);
    serverShown_ = true;
    serverJudged_ = reason.empty();
    if (serverJudged_) return 0;
    tlsReason_ = reason + (tlsReason_.empty() ? "" : "; ") + tlsReason_;
    const int socket = handshakeSocket_.load();
    if (socket >= 0) ::shutdown(socket, SHUT_RDWR);
    return GE_AUTHREJECT;
}

// After the handshake gensio tells what its own check of the chain found. Our
// judgement stands when there was one (it takes a server's own certificate or
// a CA below a root as ca=, where gensio's check wants a root); otherwise
// gensio's check stands and the name is ours to check.
int NetworkSerialDevice::verifyServer(int error, const char* reason)
{
    {
        std::lock_guard lock(mutex_);
        // A server refused during the handshake stays refused, whatever
        // gensio's own check found.
        if (serverShown_) return serverJudged_ ? 0 : GE_AUTHREJECT;
    }
    if (error != 0) {
        std::lock_guard lock(mutex_);
        tlsReason_ = std::string(gensio_err_to_str(error)) + ": " + reason + (tlsReason_.empty() ? "" : "; ") + tlsReason_;
        return GE_NOTSUP;
    }
    const std::string name = address_.serverName.empty() ? address_.host : address_.serverName;
    if (certificateNames(serverCertificate(), name)) return 0;
    std::lock_guard lock(mutex_);
    tlsReason_ = TlsNameMismatch;
    return GE_AUTHREJECT;
}

} // namespace platform
