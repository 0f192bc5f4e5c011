#include "platform/TlsProbe.h"

#include "platform/TlsFailures.h"

#include <openssl/ssl.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

bool ready(int socket, short events, Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd entry {socket, events, 0};
    return left > 0 && ::poll(&entry, 1, static_cast<int>(left)) == 1 && (entry.revents & events);
}

} // namespace

bool speaksTls(const SocketAddress& address, std::chrono::milliseconds limit)
{
    const auto deadline = Clock::now() + limit;
    const int socket = ::socket(address.family(), SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (socket < 0) return false;
    bool tls = false;
    SSL_CTX* context = SSL_CTX_new(TLS_client_method());
    SSL* ssl = context ? SSL_new(context) : nullptr;
    const int connected = ::connect(socket, reinterpret_cast<const sockaddr*>(&address.storage), address.length);
    if (ssl && (connected == 0 || (errno == EINPROGRESS && ready(socket, POLLOUT, deadline)))
        && SSL_set_fd(ssl, socket) == 1) {
        // The greeting goes out and the handshake waits for the answer; the
        // answer's first bytes are looked at as they lie in the socket.
        SSL_connect(ssl);
        char first[3] = {};
        tls = ready(socket, POLLIN, deadline) && ::recv(socket, first, sizeof first, MSG_PEEK) == sizeof first
            && looksLikeTls(std::string_view(first, sizeof first));
    }
    SSL_free(ssl);
    SSL_CTX_free(context);
    ::close(socket);
    return tls;
}

} // namespace platform
