#pragma once

#include <string>
#include <variant>

namespace mqtt {

// Where the operations room's broker is and how this machine proves itself
// to it. The password itself is never kept here: only the file that holds it,
// read when the connection is made.
struct BrokerSettings {
    std::string host; int port = 0; bool tls = false;     // from mqtt://host[:port] / mqtts://
    std::string prefix = "uavcontrol";
    std::string caFile, certFile, keyFile;                 // absolute, as in a port entry
    std::string user, passwordFile;                         // password only ever from a file
};

inline constexpr int PlainPort = 1883;
inline constexpr int TlsPort = 8883;

// The URL and, when configPath is not empty, the lines of a file given with --mqtt-config
// ("ca=", "cert=", "key=", "user=", "password-file=", "prefix="), under the trust-file rules
// of network port entries (platform's TrustFiles). Error text for the operator on failure.
std::variant<BrokerSettings, std::string> readBrokerSettings(const std::string& url,
                                                             const std::string& configPath);
// The same from fields the panel keeps in its settings (no config file).
std::variant<BrokerSettings, std::string> checkBrokerSettings(BrokerSettings fields);
std::string brokerUrl(const BrokerSettings&);   // for messages and the settings
std::string publisherName(const BrokerSettings&); // the user name, else the host name
// Whether the link leaves the machine unencrypted (mqtt:// to another host).
bool unencrypted(const BrokerSettings&);

// The password, read from the file as the trust-file rules hold it (ours,
// closed to others); empty without a password file. False with `diagnosis`
// when the file is refused or cannot be read.
bool readPassword(const BrokerSettings& settings, std::string& password, std::string& diagnosis);

} // namespace mqtt
