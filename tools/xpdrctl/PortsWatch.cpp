#include "tools/xpdrctl/PortsWatch.h"

#include "framework/ExitCodes.h"
#include "framework/StopSignals.h"
#include "links/PolledLink.h"
#include "mqtt/FleetPublisher.h"
#include "platform/PortNames.h"
#include "tools/xpdrctl/BrokerWatch.h"
#include "tools/xpdrctl/StatusOutput.h"
#include "transponder/SequenceRecord.h"

#include <QEventLoop>
#include <QJsonObject>
#include <QSocketNotifier>

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

namespace xpdrctl {

namespace {

using links::PolledLink;

// One port of the watch and what its stderr has been told.
struct WatchedPort {
    std::string name; // as given
    std::unique_ptr<PolledLink> link;
    bool settled = false; // its first opening has ended, one way or the other
    bool everUp = false;
    bool toldDown = false; // its failure is on stderr, its return is not yet
    QString told;          // the failure stderr has last been told of
    bool toldUnencrypted = false;
};

} // namespace

int watchPorts(const Invocation& invocation, fw::StopSignals& stops, std::ostream& out, std::ostream& err)
{
    std::optional<mqtt::BrokerSettings> broker;
    if (!invocation.mqtt.empty()) {
        broker = brokerSettings(invocation.mqtt, invocation.mqttConfig, err);
        if (!broker) return fw::exitcode::Usage;
    }
    QEventLoop loop;
    int exitCode = fw::exitcode::Ok;
    std::vector<WatchedPort> ports(invocation.ports.size());
    // After the ports: it goes first, publishing offline while they are still there.
    std::unique_ptr<mqtt::FleetPublisher> publisher;
    if (broker) {
        publisher = std::make_unique<mqtt::FleetPublisher>(*broker);
        QObject::connect(publisher.get(), &mqtt::FleetPublisher::told, &loop,
                         [&err](const QString& line) { err << "xpdrctl: " << line.toLocal8Bit().toStdString() << std::endl; });
    }

    // Ends the watch once every port's first opening has ended and none opened.
    const auto noneOpened = [&] {
        return std::all_of(ports.begin(), ports.end(), [](const WatchedPort& p) { return p.settled && !p.everUp; });
    };
    const auto follow = [&](WatchedPort& port) {
        const PolledLink::Phase phase = port.link->phase();
        if (phase != PolledLink::Phase::Opening) port.settled = true;
        if (phase == PolledLink::Phase::Polling) port.everUp = true;
        // Said once, never refused: the watch goes on whatever the link.
        if (port.link->unencrypted() && !port.toldUnencrypted) {
            err << "xpdrctl: " << port.name << ": warning: the link to the transponder is unencrypted and leaves this machine"
                << std::endl;
            port.toldUnencrypted = true;
        }
        // Back only once a round has been answered: a port that opens and
        // hangs up again has not come back.
        if (port.link->answering()) {
            if (port.toldDown) err << "xpdrctl: " << port.name << ": back" << std::endl;
            port.toldDown = false;
            port.told.clear();
            return;
        }
        // A link that was up is lost once its failure says so (a silent round
        // before the loss is not the reason); one that never was, by whatever
        // kept it from opening. Each new reason is told: the last attempt's,
        // not the first.
        QString failure = port.link->failure();
        // A diagnosis names the port and where it leads; the line names the port once.
        const QString name = QString::fromStdString(port.name);
        if (failure.startsWith(name + QStringLiteral(": "))) failure.remove(0, name.size() + 2);
        // "COM45 → tcp://host:4001: refused" names the port already.
        const QString line = failure.startsWith(name + QStringLiteral(" \u2192 ")) ? failure : name + QStringLiteral(": ") + failure;
        const bool told = !failure.isEmpty()
                          && ((phase == PolledLink::Phase::Failed
                               && (!port.everUp || failure.startsWith(QLatin1String("lost")) || port.toldDown))
                              || failure.startsWith(QLatin1String("output held up")));
        if (told && failure != port.told) {
            err << "xpdrctl: " << line.toLocal8Bit().toStdString() << std::endl;
            port.toldDown = true;
            port.told = failure;
        }
        if (noneOpened()) {
            exitCode = fw::exitcode::PortUnavailable;
            loop.quit();
        }
    };

    const bool several = ports.size() > 1;
    for (std::size_t i = 0; i < ports.size(); ++i) {
        WatchedPort& port = ports[i];
        port.name = invocation.ports[i];
        port.link = std::make_unique<PolledLink>(static_cast<sPorts>(*platform::comPortNumber(port.name)));
        port.link->setTiming({invocation.timeout, invocation.spacing});
        port.link->setInterval(static_cast<unsigned>(invocation.interval.count()));
        QObject::connect(port.link.get(), &PolledLink::changed, &loop, [&follow, &port] { follow(port); });
        QObject::connect(port.link.get(), &PolledLink::roundFinished, &loop,
                         [&, several, name = port.name](const transponder::SequenceRecord& record) {
                             if (invocation.json) {
                                 QJsonObject json = transponder::sequenceJson(record);
                                 if (several) json.insert(QStringLiteral("port"), QString::fromStdString(name));
                                 out << jsonLine(json);
                             } else {
                                 out << (several ? name + ": " : std::string()) << watchLine(record, invocation.raw);
                             }
                             out << std::flush;
                             if (!out && outputReaderGone()) loop.quit();
                         });
        if (publisher)
            publisher->addLink(*port.link, QStringLiteral("COM%1").arg(*platform::comPortNumber(port.name)));
    }

    QSocketNotifier stopNotifier(stops.fd(), QSocketNotifier::Read);
    QObject::connect(&stopNotifier, &QSocketNotifier::activated, &loop, [&] {
        if (stops.take() != 0) loop.quit();
    });
    if (publisher) publisher->start();
    for (WatchedPort& port : ports) port.link->start();
    loop.exec();
    return exitCode;
}

} // namespace xpdrctl
