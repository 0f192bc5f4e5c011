#include "tests/testkit/SeveredLink.h"

#include "tests/testkit/RunProgram.h"

#include <QFile>

#include <arpa/inet.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

// $1 tells this process's namespaces from another's.
constexpr char Make[] = R"(set -e
ip netns add near$1; ip netns add far$1
ip link add near0 netns near$1 type veth peer name far0 netns far$1
ip -n near$1 address add 10.231.0.1/30 dev near0; ip -n near$1 link set near0 up
ip -n far$1 address add 10.231.0.2/30 dev far0; ip -n far$1 link set far0 up)";

bool hasNetAdmin()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return false;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("CapEff:")) return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> 12) & 1; // CAP_NET_ADMIN
    return false;
}

// A TCP socket made in the namespace `space` (it stays there for good), then
// bound and listening, or connected, to the far address.
int socketIn(const QString& space, bool listening)
{
    int fd = -1;
    std::thread([&] {
        const int spaceFd = ::open(("/run/netns/" + space.toLocal8Bit()).constData(), O_RDONLY | O_CLOEXEC);
        if (spaceFd < 0 || ::setns(spaceFd, CLONE_NEWNET) != 0 || (fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) < 0) {
            if (spaceFd >= 0) ::close(spaceFd);
            return;
        }
        ::close(spaceFd);
        sockaddr_in far {};
        far.sin_family = AF_INET;
        far.sin_port = htons(7000);
        ::inet_pton(AF_INET, "10.231.0.2", &far.sin_addr);
        const auto* address = reinterpret_cast<const sockaddr*>(&far);
        const int reuse = 1; // the port of a connection made before
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
        if (listening ? ::bind(fd, address, sizeof far) != 0 || ::listen(fd, 1) != 0 : ::connect(fd, address, sizeof far) != 0) {
            ::close(fd);
            fd = -1;
        }
    }).join();
    return fd;
}

} // namespace

SeveredLink::SeveredLink()
    : tag_(QString::number(::getpid()))
{
    if (!hasNetAdmin()) unavailable_ = QStringLiteral("making network namespaces needs CAP_NET_ADMIN, which this process lacks");
    else run(Make);
}

SeveredLink::~SeveredLink()
{
    // A namespace takes its end of the pair with it, and the other end goes too.
    run("ip netns delete near$1; ip netns delete far$1");
}

bool SeveredLink::run(const char* script)
{
    const ProgramRun ran = runWithoutDisplay(QStringLiteral("sh"), {QStringLiteral("-c"), QLatin1String(script),
                                                                    QStringLiteral("sh"), tag_});
    if (ran.exitCode != 0 && unavailable_.isEmpty()) unavailable_ = QStringLiteral("ip failed: ") + ran.err.trimmed();
    return ran.exitCode == 0;
}

int SeveredLink::connect(int& far)
{
    const int listener = socketIn(QStringLiteral("far") + tag_, true);
    const int nearFd = listener < 0 ? -1 : socketIn(QStringLiteral("near") + tag_, false);
    far = nearFd < 0 ? -1 : ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (listener >= 0) ::close(listener);
    if (far < 0 && nearFd >= 0) ::close(nearFd);
    return far < 0 ? -1 : nearFd;
}

bool SeveredLink::sever()
{
    return run("ip -n far$1 link set far0 down");
}
