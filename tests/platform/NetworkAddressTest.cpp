#include "tests/testkit/PortDirectory.h"
#include "tests/testkit/PtyPair.h"
#include "platform/NetworkAddress.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <string>

using platform::NetworkAddress;

TEST(NetworkAddress, ReadsRawAndTelnetEntriesWithEveryKindOfHost)
{
    using P = NetworkAddress::Protocol;
    const struct {
        const char* line;
        P protocol;
        const char* host;
        std::uint16_t port;
        const char* hostPort;
    } cases[] = {
        {"tcp://127.0.0.1:2000", P::RawTcp, "127.0.0.1", 2000, "127.0.0.1:2000"},
        {"rfc2217://192.168.7.20:3001", P::Rfc2217, "192.168.7.20", 3001, "192.168.7.20:3001"},
        {"rfc2217://[::1]:4000", P::Rfc2217, "::1", 4000, "[::1]:4000"},
        {"tcp://[fe80::1%lo]:1", P::RawTcp, "fe80::1%lo", 1, "[fe80::1%lo]:1"},
        {"tcp://bench-3.lab.example:65535", P::RawTcp, "bench-3.lab.example", 65535, "bench-3.lab.example:65535"},
        {"RFC2217://companion:7000", P::Rfc2217, "companion", 7000, "companion:7000"},
    };
    for (const auto& c : cases) {
        NetworkAddress address;
        std::string problem;
        ASSERT_TRUE(platform::parseNetworkEntry(c.line, address, problem)) << c.line << ": " << problem;
        EXPECT_EQ(address.protocol, c.protocol) << c.line;
        EXPECT_EQ(address.host, c.host) << c.line;
        EXPECT_EQ(address.port, c.port) << c.line;
        EXPECT_EQ(address.hostPort(), c.hostPort) << c.line;
    }
}

TEST(NetworkAddress, SaysWhatIsWrongWithAMalformedLine)
{
    const struct {
        const char* line;
        const char* problem;
    } cases[] = {
        {"", "the entry is empty"},
        {"telnet://host:23", "unknown scheme 'telnet': use tcp:// or rfc2217://"},
        {"host:2000", "no scheme: write tcp://HOST:PORT or rfc2217://HOST:PORT"},
        {"tcp://host", "no port: write tcp://HOST:PORT"},
        {"rfc2217://[::1]", "no port: write rfc2217://HOST:PORT"},
        {"tcp://host:", "no port after the ':'"},
        {"tcp://:2000", "no host before the port"},
        {"tcp://host:0", "the port 0 is out of range 1..65535"},
        {"tcp://host:65536", "the port 65536 is out of range 1..65535"},
        {"tcp://host:99999999999", "the port 99999999999 is out of range 1..65535"},
        {"tcp://host:20a0", "the port '20a0' is not a number"},
        {"tcp://host:-1", "the port '-1' is not a number"},
        {"tcp://host:2000 ", "blanks after the address"},
        {"tcp://host:2000\t", "blanks after the address"},
        {" tcp://host:2000", "blanks before the address"},
        {"tcp://host :2000", "blanks inside the address"},
        {"tcp://host:2000/", "nothing but HOST:PORT may follow the scheme"},
        {"tcp://user@host:2000", "nothing but HOST:PORT may follow the scheme"},
        {"tcp://300.1.1.1:2000", "'300.1.1.1' is not an IPv4 address"},
        {"tcp://::1:2000", "an IPv6 address goes in brackets: [::1]"},
        {"tcp://[::g]:2000", "'::g' is not an IPv6 address"},
        {"tcp://[::1:2000", "an IPv6 address must end with ']'"},
        {"tcp://bad_name:2000", "'bad_name' is not a host name"},
        {"tcp://-lead.example:2000", "'-lead.example' is not a host name"},
    };
    for (const auto& c : cases) {
        NetworkAddress address;
        std::string problem;
        EXPECT_FALSE(platform::parseNetworkEntry(c.line, address, problem)) << '"' << c.line << '"';
        EXPECT_EQ(problem, c.problem) << '"' << c.line << '"';
    }
}

TEST(NetworkAddress, AnEntryFileIsOneLineAndADiagnosisNamesTheFileAndTheLine)
{
    PortDirectory ports;
    const std::string path = ports.path() + "/COM4";
    const auto read = [&](const std::string& content, NetworkAddress& address, std::string& diagnosis) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
        return platform::readNetworkEntry(path, address, diagnosis);
    };
    const struct {
        std::string content;
        int error;
        std::string diagnosis;
    } cases[] = {
        {"tcp://127.0.0.1:2000\n", 0, ""},
        {"tcp://127.0.0.1:2000", 0, ""},
        {"tcp://127.0.0.1:2000\r\n", 0, ""},
        {"tcp://127.0.0.1:2000 \n", EINVAL, "the port entry " + path + ", line 1 \"tcp://127.0.0.1:2000 \": blanks after the address"},
        {"tcp://127.0.0.1:2000\ntcp://127.0.0.1:2001\n", EINVAL,
         "the port entry " + path + ", line 2 \"tcp://127.0.0.1:2001\": an entry holds one line only"},
        {"", EINVAL, "the port entry " + path + ", line 1 \"\": the entry is empty"},
        {"ftp://h:1\x01\n", EINVAL, "the port entry " + path + ", line 1 \"ftp://h:1\\x01\": unknown scheme 'ftp': use tcp:// or rfc2217://"},
        {std::string(2000, 'x'), EINVAL, "the port entry " + path + " is not an address: it is longer than 1024 bytes"},
    };
    for (const auto& c : cases) {
        NetworkAddress address;
        std::string diagnosis;
        EXPECT_EQ(read(c.content, address, diagnosis), c.error) << c.content;
        EXPECT_EQ(diagnosis, c.diagnosis) << c.content;
    }
}
