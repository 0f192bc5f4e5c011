// Entries that try to make gensio run something else: each is refused or
// becomes exactly our layers, as gensio itself reads the string back.
#include "platform/GensioLoop.h"
#include "platform/GensioStack.h"

#include <QTemporaryDir>
#include <gensio/gensio.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

// gensio reads the CA file as it makes the TLS layer: a certificate of no
// one, good until 2125.
const char* const Certificate =
    "-----BEGIN CERTIFICATE-----\n"
    "MIIBezCCASGgAwIBAgIUdFebZ1n8YvXPIsNy8bryUZ9lBjswCgYIKoZIzj0EAwIw\n"
    "EjEQMA4GA1UEAwwHcXVvdGluZzAgFw0yNjEyMDgxMDQ3NDRaGA8yMTI2MTExNDEw\n"
    "NDc0NFowEjEQMA4GA1UEAwwHcXVvdGluZzBZMBMGByqGSM49AgEGCCqGSM49AwEH\n"
    "A0IABAr1h/Paktwphl2Wyx3yTx0csATBQn+NplU8lnIMT9rkjj5wBXDhefGNRKk4\n"
    "KlZ1qROjbGl13qb52av9cMxtPUqjUzBRMB0GA1UdDgQWBBSam5a2NJK3auNfKaCu\n"
    "WPND+uHHQjAfBgNVHSMEGDAWgBSam5a2NJK3auNfKaCuWPND+uHHQjAPBgNVHRMB\n"
    "Af8EBTADAQH/MAoGCCqGSM49BAMCA0gAMEUCIQDeopreJ7z8SzfyfWetuqerhfq/\n"
    "s7V0ExXEsC4i2sr6swIgE83E0TqJx//ZsyjXOPAYvzGQDiBP50WhKxlZSdOuED4=\n"
    "-----END CERTIFICATE-----\n";

// The layers gensio makes of `stack`, top first; empty when it makes none.
std::vector<std::string> layersOf(const std::string& stack)
{
    gensio* io = nullptr;
    if (str_to_gensio(stack.c_str(), platform::GensioLoop::funcs(), nullptr, nullptr, &io) != 0) return {};
    std::vector<std::string> layers;
    for (unsigned depth = 0; gensio* child = gensio_get_child(io, depth); ++depth)
        layers.push_back(gensio_get_type(child, 0));
    gensio_free(io);
    return layers;
}

platform::NetworkAddress address(bool rfc2217, const std::string& host, bool tls = false, const std::string& file = {})
{
    platform::NetworkAddress a;
    a.protocol = rfc2217 ? platform::NetworkAddress::Protocol::Rfc2217 : platform::NetworkAddress::Protocol::RawTcp;
    a.host = host;
    a.port = 2000;
    a.tls = tls;
    a.ca = file;
    return a;
}

} // namespace

TEST(GensioStack, HostileFieldsAreRefusedOrQuotedSoThatNoLayerIsAdded)
{
    const QTemporaryDir folder;
    const std::string hostile = folder.path().toStdString() + "/my CA),stdio(sh -c \"id\"),\\x.pem";
    std::ofstream(hostile) << Certificate;
    std::string quoted;
    ASSERT_TRUE(platform::quoteGensioValue(hostile, quoted));
    const struct {
        const char* what;
        platform::NetworkAddress address;
        std::string stack;               // empty: refused
        std::vector<std::string> layers;
    } rows[] = {
        {"raw TCP", address(false, "127.0.0.1"), "tcp(nodelay),127.0.0.1,2000", {"tcp"}},
        {"RFC 2217 to an IPv6 host", address(true, "::1"), "telnet(rfc2217),tcp(nodelay),::1,2000", {"telnet", "tcp"}},
        {"TLS without files", address(false, "localhost", true), "ssl,tcp(nodelay),localhost,2000", {"ssl", "tcp"}},
        {"TLS with a path that closes the option and opens a layer", address(true, "localhost", true, hostile),
         "telnet(rfc2217),ssl(CA=" + quoted + "),tcp(nodelay),localhost,2000",
         {"telnet", "ssl", "tcp"}},
        {"a host that closes the layer and opens another", address(false, "x),stdio(sh"), "", {}},
        {"a host that adds an address", address(false, "127.0.0.1,2001,stdio"), "", {}},
        {"a host with a blank", address(true, "a b"), "", {}},
        {"a host with a quote", address(true, "a\"b"), "", {}},
        {"a path with a line end", address(false, "localhost", true, "a\n),stdio(sh"), "", {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        std::string stack;
        std::string problem;
        const bool made = platform::gensioStack(row.address, stack, problem);
        EXPECT_EQ(made, !row.stack.empty()) << problem;
        if (!made) {
            EXPECT_FALSE(problem.empty());
            continue;
        }
        EXPECT_EQ(stack, row.stack);
        EXPECT_EQ(layersOf(stack), row.layers);
    }
}
