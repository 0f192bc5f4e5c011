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

// Runs `work` on a thread that has entered the network namespace `space`.
void inNamespace(const QString& space, const std::function<void()>& work)
{
    std::thread([&] {
        const int spaceFd = ::open(("/run/netns/" + space.toLocal8Bit()).constData(), O_RDONLY | O_CLOEXEC);
        if (spaceFd < 0) return;
        if (::setns(spaceFd, CLONE_NEWNET) == 0) work();
        ::close(spaceFd);
    }).join();
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

int SeveredLink::listenFar()
{
    int fd = -1;
    if (unavailable_.isEmpty()) inNamespace(QStringLiteral("far") + tag_, [&fd] {
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in far {};
        far.sin_family = AF_INET;
        far.sin_port = htons(7000);
        ::inet_pton(AF_INET, "10.231.0.2", &far.sin_addr);
        if (fd >= 0 && (::bind(fd, reinterpret_cast<const sockaddr*>(&far), sizeof far) != 0 || ::listen(fd, 4) != 0)) {
            ::close(fd);
            fd = -1;
        }
    });
    return fd;
}

void SeveredLink::inNear(const std::function<void()>& work)
{
    inNamespace(QStringLiteral("near") + tag_, work);
}

bool SeveredLink::sever()
{
    return run("ip -n far$1 link set far0 down");
}
