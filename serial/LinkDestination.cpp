#include "serial/LinkDestination.h"

#include "platform/NetworkAddress.h"
#include "platform/PortNames.h"

LinkDestination linkDestination(const std::string& comName, bool plainToAnotherHost)
{
    LinkDestination destination;
    const std::string entry = platform::resolvePortName(comName);
    if (entry.empty() || !platform::isNetworkEntry(entry)) {
        destination.where = QString::fromStdString(platform::tracePortName(comName).device);
        return destination;
    }
    destination.network = true;
    platform::NetworkAddress address;
    std::string problem;
    if (platform::readNetworkEntry(entry, address, problem) != 0) return destination;
    destination.where = QString::fromStdString(address.url());
    if (!address.tls && plainToAnotherHost) {
        const QString host = QString::fromStdString(address.host);
        const QString hostPort = QString::fromStdString(address.hostPort());
        destination.unencrypted =
            QStringLiteral("The link to %1 is not encrypted: whoever can reach %2 can read every reply and "
                           "command the transponder as you do.\nServe the port in TLS with client "
                           "authentication (ser2net's ssl(\u2026, clientauth) accepter), and make the entry "
                           "%3+tls://%2 with ca=, cert= and key= (Setup \u2192 Ports\u2026).")
                .arg(host, hostPort,
                     address.protocol == platform::NetworkAddress::Protocol::Rfc2217 ? QStringLiteral("rfc2217")
                                                                                     : QStringLiteral("tcp"));
    }
    return destination;
}
