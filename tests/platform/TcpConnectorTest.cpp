#include "tests/testkit/LoopbackServer.h"
#include "platform/TcpConnector.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <netdb.h>
#include <unistd.h>

using namespace std::chrono_literals;
using platform::ConnectionWait;
using platform::NetworkAddress;
using platform::TcpConnector;

namespace {

NetworkAddress at(const std::string& host, std::uint16_t port)
{
    NetworkAddress address;
    address.host = host;
    address.port = port;
    return address;
}

// A resolver that knows one name, for 127.0.0.1, and no other: no name server
// is asked.
int labResolver(const char* host, const char* service, const addrinfo* hints, addrinfo** found)
{
    if (std::string(host) != "bench.lab") return EAI_NONAME;
    addrinfo numeric = *hints;
    numeric.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    return ::getaddrinfo("127.0.0.1", service, &numeric, found);
}

// The operator presses Cancel at the first wait.
class CancellingWait : public platform::PollConnectionWait {
public:
    int wait(int, short, Clock::time_point) override { return ECANCELED; }
};

struct Connection {
    TcpConnector::Result result;
    ~Connection()
    {
        if (result.fd >= 0) ::close(result.fd);
    }
};

} // namespace

TEST(TcpConnector, ReachesAListenerByAddressOrByName)
{
    LoopbackServer server;
    platform::PollConnectionWait wait;
    const TcpConnector connector(labResolver);
    for (const char* host : {"127.0.0.1", "bench.lab"}) {
        Connection connection{connector.connect(at(host, server.port()), wait, ConnectionWait::Clock::now() + 2s)};
        EXPECT_EQ(connection.result.error, 0) << host << ": " << connection.result.problem;
        EXPECT_GE(connection.result.fd, 0) << host;
        EXPECT_TRUE(server.accept()) << host;
    }
}

TEST(TcpConnector, EachFailureHasItsErrorAndItsWords)
{
    LoopbackServer full(0);
    // One connection fills a backlog of 0: the kernel drops every further
    // connect's first packet, and the connect hangs as towards a host that is off.
    platform::PollConnectionWait poll;
    Connection filler{TcpConnector().connect(at("127.0.0.1", full.port()), poll, ConnectionWait::Clock::now() + 2s)};
    ASSERT_EQ(filler.result.error, 0);
    CancellingWait cancel;

    const std::uint16_t nobody = unusedLoopbackPort();
    const struct {
        const char* name;
        NetworkAddress address;
        ConnectionWait& wait;
        std::chrono::milliseconds limit;
        int error;
        std::string problem;
    } cases[] = {
        {"nobody listens", at("127.0.0.1", nobody), poll, 2000ms, ECONNREFUSED,
         "nothing listens at 127.0.0.1:" + std::to_string(nobody)},
        {"unknown host", at("nowhere.lab", 2000), poll, 2000ms, EHOSTUNREACH,
         std::string("the host nowhere.lab is unknown: ") + ::gai_strerror(EAI_NONAME)},
        {"no answer in time", at("127.0.0.1", full.port()), poll, 300ms, ETIMEDOUT,
         "127.0.0.1:" + std::to_string(full.port()) + " did not answer within the time limit"},
        {"cancelled", at("127.0.0.1", full.port()), cancel, 2000ms, ECANCELED,
         "connecting to 127.0.0.1:" + std::to_string(full.port()) + " was cancelled"},
    };
    for (const auto& c : cases) {
        Connection connection{
            TcpConnector(labResolver).connect(c.address, c.wait, ConnectionWait::Clock::now() + c.limit)};
        EXPECT_EQ(connection.result.error, c.error) << c.name;
        EXPECT_EQ(connection.result.problem, c.problem) << c.name;
        EXPECT_LT(connection.result.fd, 0) << c.name;
    }
}
