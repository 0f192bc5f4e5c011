#pragma once

#include "mqtt/BrokerSettings.h"
#include "tools/xpdrctl/CommandLine.h"

#include <optional>
#include <ostream>
#include <string>

namespace fw {
class StopSignals;
}

namespace xpdrctl {

// The broker's settings from --mqtt or --mqtt-subscribe and --mqtt-config;
// nothing, with the reason on `err`, when they are refused. A broker reached
// unencrypted from another machine is said once, as a port is, never refused.
std::optional<mqtt::BrokerSettings> brokerSettings(const std::string& url, const std::string& config, std::ostream& err);

// watch --mqtt-subscribe: every row the broker's publishers hold, one JSON
// object a change, with "publisher" and "port"; a removed row as
// {"publisher", "port", "removed": true}, a publisher coming or going as
// {"publisher", "online"}. Runs until a stop signal or a closed output; the
// broker's absence and return are told on `err`. Needs a QCoreApplication.
int watchBroker(const Invocation& invocation, fw::StopSignals& stops, std::ostream& out, std::ostream& err);

// The reader of the standard output has gone. Writing on would end the
// program with SIGPIPE, which the broker's client library ignores for the
// whole process; the watch ends instead, cleanly, and endAsOutputClosed()
// then ends the program as the signal would have.
bool outputReaderGone();
[[noreturn]] void endAsOutputClosed();

} // namespace xpdrctl
