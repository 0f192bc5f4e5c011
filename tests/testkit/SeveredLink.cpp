#include "tests/testkit/SeveredLink.h"

#include "tests/testkit/RunProgram.h"

#include <QFile>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr char NearAddress[] = "10.231.0.1";
constexpr char FarAddress[] = "10.231.0.2";
constexpr quint16 FarPort = 7000;
constexpr char NearDevice[] = "near0";
constexpr char FarDevice[] = "far0";

bool hasNetAdmin()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return false;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (!line.startsWith("CapEff:")) continue;
        constexpr unsigned NetAdmin = 12;
        return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> NetAdmin) & 1;
    }
    return false;
}

sockaddr_in farAddress()
{
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(FarPort);
    ::inet_pton(AF_INET, FarAddress, &address.sin_addr);
    return address;
}

} // namespace

SeveredLink::SeveredLink()
{
    if (!hasNetAdmin()) {
        unavailable_ = QStringLiteral("making network namespaces needs CAP_NET_ADMIN, which this process lacks");
        return;
    }
    const QString tag = QString::number(::getpid());
    near_ = QStringLiteral("uavnear") + tag;
    far_ = QStringLiteral("uavfar") + tag;
    const QString nearDevice = QLatin1String(NearDevice);
    const QString farDevice = QLatin1String(FarDevice);
    const bool made = ip({QStringLiteral("netns"), QStringLiteral("add"), near_})
        && ip({QStringLiteral("netns"), QStringLiteral("add"), far_})
        && ip({QStringLiteral("link"), QStringLiteral("add"), nearDevice, QStringLiteral("netns"), near_,
               QStringLiteral("type"), QStringLiteral("veth"), QStringLiteral("peer"), QStringLiteral("name"), farDevice,
               QStringLiteral("netns"), far_})
        && ip({QStringLiteral("-n"), near_, QStringLiteral("address"), QStringLiteral("add"),
               QLatin1String(NearAddress) + QStringLiteral("/30"), QStringLiteral("dev"), nearDevice})
        && ip({QStringLiteral("-n"), far_, QStringLiteral("address"), QStringLiteral("add"),
               QLatin1String(FarAddress) + QStringLiteral("/30"), QStringLiteral("dev"), farDevice})
        && ip({QStringLiteral("-n"), near_, QStringLiteral("link"), QStringLiteral("set"), nearDevice, QStringLiteral("up")})
        && ip({QStringLiteral("-n"), far_, QStringLiteral("link"), QStringLiteral("set"), farDevice, QStringLiteral("up")});
    if (!made && unavailable_.isEmpty()) unavailable_ = QStringLiteral("the namespaces could not be made");
}

SeveredLink::~SeveredLink()
{
    // Deleting a namespace takes its end of the pair, and with it the other end.
    for (const QString& space : {near_, far_})
        if (!space.isEmpty()) runWithoutDisplay(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("delete"), space});
}

bool SeveredLink::ip(const QStringList& arguments)
{
    const ProgramRun run = runWithoutDisplay(QStringLiteral("ip"), arguments);
    if (run.exitCode == 0) return true;
    unavailable_ = QStringLiteral("ip ") + arguments.join(u' ') + QStringLiteral(": ")
        + (run.exitCode < 0 ? QStringLiteral("did not run") : run.err.trimmed());
    return false;
}

template <class Make>
int SeveredLink::inNamespace(const QString& space, Make make)
{
    int result = -1;
    std::thread([&] {
        const int spaceFd = ::open(("/run/netns/" + space.toLocal8Bit()).constData(), O_RDONLY | O_CLOEXEC);
        if (spaceFd < 0) return;
        if (::setns(spaceFd, CLONE_NEWNET) == 0) result = make();
        ::close(spaceFd);
    }).join();
    return result;
}

int SeveredLink::connect(int& far)
{
    far = -1;
    if (!unavailable_.isEmpty()) return -1;
    const int listener = inNamespace(far_, [] {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int yes = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        const sockaddr_in address = farAddress();
        if (fd >= 0 && (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 4) != 0)) {
            ::close(fd);
            return -1;
        }
        return fd;
    });
    if (listener < 0) return -1;
    const int nearFd = inNamespace(near_, [] {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const sockaddr_in address = farAddress();
        if (fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            ::close(fd);
            return -1;
        }
        return fd;
    });
    if (nearFd >= 0) far = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    ::close(listener);
    if (far < 0 && nearFd >= 0) ::close(nearFd);
    return far < 0 ? -1 : nearFd;
}

bool SeveredLink::sever()
{
    return ip({QStringLiteral("-n"), far_, QStringLiteral("link"), QStringLiteral("set"), QLatin1String(FarDevice),
               QStringLiteral("down")});
}
