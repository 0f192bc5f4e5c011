#include "tests/testkit/LoopbackServer.h"
#include "platform/PeerAddress.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <string>
#include <unistd.h>

namespace {

sockaddr_storage addressOf(const std::string& text, socklen_t& length)
{
    sockaddr_storage storage {};
    auto* v4 = reinterpret_cast<sockaddr_in*>(&storage);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&storage);
    if (::inet_pton(AF_INET, text.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        length = sizeof *v4;
    } else if (::inet_pton(AF_INET6, text.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        length = sizeof *v6;
    }
    return storage;
}

} // namespace

// A link stays on the machine by the address it reached, however that
// address was written: every spelling of the loopback, and nothing else.
TEST(PeerAddress, TheLoopbackInEverySpellingAndNothingElse)
{
    const struct {
        const char* address;
        bool loopback;
    } rows[] = {
        {"127.0.0.1", true},      {"127.255.3.4", true},     {"::1", true},
        {"0:0:0:0:0:0:0:1", true}, {"::ffff:127.0.0.1", true}, {"::ffff:127.9.9.9", true},
        {"10.0.0.1", false},      {"128.0.0.1", false},      {"0.0.0.0", false},
        {"::", false},            {"::2", false},            {"::ffff:10.0.0.1", false},
        {"fe80::1", false},       {"::127.0.0.1", false},
    };
    for (const auto& row : rows) {
        socklen_t length = 0;
        const sockaddr_storage address = addressOf(row.address, length);
        ASSERT_GT(length, 0u) << row.address;
        EXPECT_EQ(platform::isLoopbackAddress(reinterpret_cast<const sockaddr*>(&address), length), row.loopback)
            << row.address;
    }
    // A socket connected to the loopback, and one connected to nothing.
    LoopbackServer server;
    const int connected = connectToLoopback(server.port());
    ASSERT_TRUE(server.accept());
    EXPECT_TRUE(platform::isLoopbackPeer(connected));
    ::close(connected);
    EXPECT_FALSE(platform::isLoopbackPeer(-1));
}
