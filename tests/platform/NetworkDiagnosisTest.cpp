#include "tests/testkit/LoopbackServer.h"
#include "tests/testkit/Rfc2217Server.h"
#include "tests/testkit/PortDirectory.h"
#include "platform/ComPortDevice.h"
#include "platform/NetworkFailures.h"
#include "platform/OpenDiagnosis.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <future>
#include <string>

namespace {

::testing::AssertionResult Has(const std::string& text, const std::string& part)
{
    if (text.find(part) != std::string::npos) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "\"" << text << "\" lacks \"" << part << "\"";
}

} // namespace

// Each failure is made for real, then explained from the COM name and the
// error alone, as the window does after the component's box.
TEST(NetworkDiagnosis, EachFailureNamesTheEntryTheAddressAndWhatToCheck)
{
    PortDirectory ports;
    const std::string entry = ports.path() + "/COM4";
    const std::string nobody = std::to_string(unusedLoopbackPort());
    Rfc2217Server busy;
    const std::string busyPort = std::to_string(busy.port());
    // A server that turns us away before it has even greeted: the words come
    // while gensio's Telnet is still opening.
    LoopbackServer early;
    const std::string earlyPort = std::to_string(early.port());
    enum { Quiet, BusyAfterGreeting, BusyAtOnce };
    const struct {
        std::string content;
        int serverSaysBusy;
        int error;
        std::string summary;
        std::string detail;
    } cases[] = {
        {"tcp://127.0.0.1:" + nobody + "\n", Quiet, ECONNREFUSED,
         "COM4 \u2192 tcp://127.0.0.1:" + nobody + ": nothing listens at 127.0.0.1:" + nobody,
         "Is ser2net running on 127.0.0.1, with an accepter on port " + nobody + "?"},
        {"tcp://127.0.0.1:" + nobody + " \n", Quiet, EINVAL,
         "COM4: the port entry " + entry + ", line 1 \"tcp://127.0.0.1:" + nobody + " \": blanks after the address",
         "An entry's first line is tcp://HOST:PORT or rfc2217://HOST:PORT, with +tls after the scheme for TLS "
         "and then lines ca=, cert=, key= or servername=."},
        {"rfc2217://127.0.0.1:" + busyPort + "\n", BusyAfterGreeting, ECONNRESET,
         "COM4 \u2192 rfc2217://127.0.0.1:" + busyPort + ": another client holds this port (\"Port already in use\")",
         "COM4 is a network port: its entry " + entry + " names rfc2217://127.0.0.1:" + busyPort},
        {"rfc2217://127.0.0.1:" + earlyPort + "\n", BusyAtOnce, ECONNRESET,
         "COM4 \u2192 rfc2217://127.0.0.1:" + earlyPort + ": another client holds this port (\"Port already in use\")",
         "COM4 is a network port: its entry " + entry + " names rfc2217://127.0.0.1:" + earlyPort},
    };
    for (const auto& c : cases) {
        std::ofstream(entry, std::ios::trunc) << c.content;
        platform::ComPortDevice device;
        auto opened = std::async(std::launch::async, [&] { return device.open("COM4"); });
        if (c.serverSaysBusy == BusyAtOnce) {
            ASSERT_TRUE(early.accept());
            early.send("\r\nPort already in use\r\n");
            early.closeConnection();
        }
        if (c.serverSaysBusy == BusyAfterGreeting) {
            // The words come once the Telnet greeting has.
            ASSERT_TRUE(busy.accept(false));
            busy.receiveRequests(1);
            busy.send("\r\nPort already in use\r\n");
            busy.closeConnection();
        }
        ASSERT_EQ(opened.get(), c.error) << c.content;
        const auto d = platform::diagnoseOpenFailure("COM4", c.error);
        EXPECT_EQ(d.error, c.error);
        EXPECT_EQ(d.summary, c.summary);
        EXPECT_TRUE(Has(d.detail, c.summary.substr(c.summary.find(": ") + 2))) << c.content;
        EXPECT_TRUE(Has(d.detail, c.detail)) << c.content;
    }
}

// A host name that the resolver does not know: the resolver's own words, kept
// from the opening, reach the diagnosis.
TEST(NetworkDiagnosis, TheResolversWordsAreKeptFromTheOpening)
{
    PortDirectory ports;
    std::ofstream(ports.path() + "/COM6") << "rfc2217://bench-9.lab:2000\n";
    platform::recordNetworkFailure("COM6", EHOSTUNREACH, "the host bench-9.lab is unknown: Name or service not known");
    auto d = platform::diagnoseOpenFailure("COM6", EHOSTUNREACH);
    EXPECT_EQ(d.summary, "COM6 \u2192 rfc2217://bench-9.lab:2000: the host bench-9.lab is unknown: Name or service not known");
    EXPECT_TRUE(Has(d.detail, "Check the host's name in " + ports.path() + "/COM6"));
    // Words recorded for another error do not stand in for this one.
    d = platform::diagnoseOpenFailure("COM6", ETIMEDOUT);
    EXPECT_EQ(d.summary, "COM6 \u2192 rfc2217://bench-9.lab:2000: Connection timed out");
    platform::forgetNetworkFailure("COM6");
    d = platform::diagnoseOpenFailure("COM6", EHOSTUNREACH);
    EXPECT_EQ(d.summary, "COM6 \u2192 rfc2217://bench-9.lab:2000: No route to host");
}
