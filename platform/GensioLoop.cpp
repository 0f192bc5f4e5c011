#include "platform/GensioLoop.h"

#include "platform/Liveness.h"

#include <gensio/gensio.h>
#include <gensio/gensio_os_funcs.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <map>
#include <csignal>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <cstdarg>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include <utility>
#include <pthread.h>
#include <system_error>
#include <vector>

namespace platform {

namespace {

constexpr int WakeSignal = SIGUSR1;

void ignoreWake(int) {}

// The handler's own reading, which ours wraps.
int (*readIod)(gensio_iod* iod, void* buffer, gensiods size, gensiods* count) = nullptr;

// The handler's own connecting, which ours wraps.
int (*connectIod)(gensio_iod* iod, const gensio_addr* address) = nullptr;

// The first bytes gensio has read from each socket it connected, until the
// opening that made it takes them: the words of a server that hangs up while
// gensio's upper layers are still opening would otherwise be lost with them.
// With them, how many were read in all: an early count that starts after
// gensio's first read (a busy machine) still counts that read whole.
constexpr std::size_t FirstBytesLimit = 256;
struct FirstBytes {
    std::string kept;
    std::size_t read = 0;
};
std::mutex firstBytesMutex;
std::map<int, FirstBytes> firstBytes;
std::atomic<int> firstBytesKept{0};

void keepFirstBytes(int fd, const void* data, std::size_t size)
{
    std::lock_guard lock(firstBytesMutex);
    const auto found = firstBytes.find(fd);
    if (found == firstBytes.end()) return;
    FirstBytes& first = found->second;
    first.kept.append(static_cast<const char*>(data), std::min(size, FirstBytesLimit - first.kept.size()));
    first.read += size;
}

// The sockets whose early bytes are counted, with the count so far.
std::map<int, std::size_t> earlyCounts;
std::atomic<int> earlyCounted{0};

void countEarlyBytes(int fd, std::size_t size)
{
    std::lock_guard lock(firstBytesMutex);
    const auto found = earlyCounts.find(fd);
    if (found != earlyCounts.end()) found->second += size;
}

// What an opening on this thread gives gensio's connecting and takes from it.
thread_local int socketToAdopt = -1;
thread_local int connectedSocket = -1;
thread_local std::atomic<int>* takenAs = nullptr;

bool isTcpStream(int fd)
{
    int type = 0;
    int protocol = 0;
    socklen_t length = sizeof type;
    if (::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &length) != 0 || type != SOCK_STREAM) return false;
    length = sizeof protocol;
    return ::getsockopt(fd, SOL_SOCKET, SO_PROTOCOL, &protocol, &length) == 0 && protocol == IPPROTO_TCP;
}

// gensio's TCP layer connects every outgoing socket through here: a socket
// the opening has connected already takes the place of gensio's new one, and
// every TCP socket gets the timings that find a dead peer within seconds, not
// hours (gensio's own keepalive is only on or off).
int connectWithLiveness(gensio_iod* iod, const gensio_addr* address)
{
    const int fd = iod->f->iod_get_fd(iod);
    int result = 0;
    if (socketToAdopt >= 0) {
        const int adopted = std::exchange(socketToAdopt, -1);
        if (::dup3(adopted, fd, O_CLOEXEC) < 0) result = gensio_os_err_to_err(iod->f, errno);
        else if (takenAs) std::exchange(takenAs, nullptr)->store(fd);
        ::close(adopted);
    } else {
        result = connectIod(iod, address);
    }
    if ((result == 0 || result == GE_INPROGRESS) && isTcpStream(fd)) {
        setLiveness(fd);
        connectedSocket = fd;
        std::lock_guard lock(firstBytesMutex);
        if (firstBytes.insert_or_assign(fd, FirstBytes{}).second) ++firstBytesKept;
    }
    return result;
}

// A socket whose peer has gone fails the write with EPIPE rather than end the
// process with SIGPIPE, which the program leaves as it is for its own output.
int sendWithoutSignal(gensio_iod* iod, const gensio_sg* pieces, gensiods number, gensiods* count, int flags)
{
    std::vector<iovec> vector(number);
    for (gensiods i = 0; i < number; ++i) vector[i] = {const_cast<void*>(pieces[i].buf), pieces[i].buflen};
    msghdr message {};
    message.msg_iov = vector.data();
    message.msg_iovlen = vector.size();
    for (;;) {
        const ssize_t sent = ::sendmsg(iod->f->iod_get_fd(iod), &message,
                                       MSG_NOSIGNAL | ((flags & GENSIO_MSG_OOB) ? MSG_OOB : 0));
        if (sent >= 0) {
            if (count) *count = static_cast<gensiods>(sent);
            return 0;
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (count) *count = 0;
            return 0;
        }
        return gensio_os_err_to_err(iod->f, errno);
    }
}

// Acknowledges what came in at once rather than up to 40 ms later. A server
// that sends in several small writes and waits for each to be acknowledged
// before the next (Nagle's rule) would otherwise make an opening, a TLS
// handshake above all, take that much longer. The kernel forgets the setting
// as it goes, so it is given again after each read.
int readAndAcknowledge(gensio_iod* iod, void* buffer, gensiods size, gensiods* count)
{
    const int result = readIod(iod, buffer, size, count);
    if (iod->f->iod_get_type(iod) == GENSIO_IOD_SOCKET) {
        if (result == 0 && count && *count > 0 && firstBytesKept.load() > 0)
            keepFirstBytes(iod->f->iod_get_fd(iod), buffer, *count);
        if (result == 0 && count && *count > 0 && earlyCounted.load() > 0) countEarlyBytes(iod->f->iod_get_fd(iod), *count);
        const int on = 1;
        ::setsockopt(iod->f->iod_get_fd(iod), IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
    }
    return result;
}

// A signal that arrives while a thread is not waiting in gensio is taken by
// a handler that does nothing, rather than ending the process.
void installWakeHandler()
{
    struct sigaction current {};
    if (::sigaction(WakeSignal, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) {
        struct sigaction action {};
        action.sa_handler = ignoreWake;
        sigemptyset(&action.sa_mask);
        ::sigaction(WakeSignal, &action, nullptr);
    }
}

} // namespace

GensioLoop& GensioLoop::instance()
{
    static GensioLoop loop;
    return loop;
}

GensioLoop::GensioLoop()
{
    installWakeHandler();
    if (gensio_default_os_hnd(WakeSignal, &funcs_) != 0) {
        funcs_ = nullptr;
        return;
    }
    // gensio tells why a TLS handshake failed (OpenSSL's reason) as an
    // error or a note; the rest is for gensio's own debugging.
    gensio_set_log_mask(1 << GENSIO_LOG_FATAL | 1 << GENSIO_LOG_ERR | 1 << GENSIO_LOG_WARNING | 1 << GENSIO_LOG_INFO);
    gensio_os_funcs_set_vlog(funcs_, [](gensio_os_funcs*, gensio_log_levels, const char* format, va_list arguments) {
        char line[512];
        std::vsnprintf(line, sizeof line, format, arguments);
        log(line);
    });
    // The handler is a table of functions: its reading is ours.
    readIod = funcs_->read;
    funcs_->read = readAndAcknowledge;
    funcs_->send = sendWithoutSignal;
    connectIod = funcs_->connect;
    funcs_->connect = connectWithLiveness;
    stopping_ = gensio_os_funcs_alloc_waiter(funcs_);
    if (!stopping_) {
        funcs_ = nullptr;
        return;
    }
}

void GensioLoop::startThreads()
{
    for (int i = 0; i < ServicingThreads; ++i) {
        threads_.emplace_back([this] {
            pthread_setname_np(pthread_self(), "gensio loop");
            sigset_t wake;
            sigemptyset(&wake);
            sigaddset(&wake, WakeSignal);
            pthread_sigmask(SIG_BLOCK, &wake, nullptr);
            gensio_os_funcs_wait(funcs_, stopping_, 1, nullptr);
        });
    }
}

void GensioLoop::stopThreads()
{
    for (std::size_t i = 0; i < threads_.size(); ++i) gensio_os_funcs_wake(funcs_, stopping_);
    for (std::thread& thread : threads_) thread.join();
    threads_.clear();
}

bool GensioLoop::use()
{
    GensioLoop& loop = instance();
    std::lock_guard lock(loop.usersMutex_);
    if (!loop.funcs_) return false;
    if (loop.users_ == 0) {
        try {
            loop.startThreads();
        } catch (const std::system_error&) {
            loop.stopThreads();
            return false;
        }
    }
    ++loop.users_;
    return true;
}

void GensioLoop::stopUsing()
{
    GensioLoop& loop = instance();
    std::lock_guard lock(loop.usersMutex_);
    if (--loop.users_ > 0) return;
    loop.stopThreads();
}

GensioLoop::~GensioLoop()
{
    stopThreads();
}

gensio_os_funcs* GensioLoop::funcs()
{
    return instance().funcs_;
}

void GensioLoop::adopt(int connected, std::atomic<int>* taken)
{
    if (socketToAdopt >= 0) ::close(socketToAdopt);
    socketToAdopt = connected;
    connectedSocket = -1;
    takenAs = taken;
}

int GensioLoop::takeConnected()
{
    if (socketToAdopt >= 0) ::close(std::exchange(socketToAdopt, -1));
    takenAs = nullptr;
    return std::exchange(connectedSocket, -1);
}

std::string GensioLoop::takeFirstBytes(int connected)
{
    std::lock_guard lock(firstBytesMutex);
    const auto found = firstBytes.find(connected);
    if (found == firstBytes.end()) return {};
    std::string bytes = std::move(found->second.kept);
    firstBytes.erase(found);
    --firstBytesKept;
    return bytes;
}

void GensioLoop::countEarlyBytes(int connected)
{
    std::lock_guard lock(firstBytesMutex);
    const auto kept = firstBytes.find(connected);
    if (earlyCounts.insert_or_assign(connected, kept == firstBytes.end() ? 0 : kept->second.read).second)
        ++earlyCounted;
}

std::size_t GensioLoop::endEarlyCount(int connected)
{
    std::lock_guard lock(firstBytesMutex);
    const auto found = earlyCounts.find(connected);
    if (found == earlyCounts.end()) return 0;
    const std::size_t counted = found->second;
    earlyCounts.erase(found);
    --earlyCounted;
    return counted;
}

void GensioLoop::listen(Listener& listener)
{
    GensioLoop& loop = instance();
    std::lock_guard lock(loop.mutex_);
    loop.listeners_.insert(&listener);
}

void GensioLoop::stopListening(Listener& listener)
{
    GensioLoop& loop = instance();
    std::lock_guard lock(loop.mutex_);
    loop.listeners_.erase(&listener);
}

void GensioLoop::log(const std::string& line)
{
    GensioLoop& loop = instance();
    std::lock_guard lock(loop.mutex_);
    for (Listener* listener : loop.listeners_) listener->logged(line);
}

} // namespace platform
