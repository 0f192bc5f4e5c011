#include "tools/xpdrctl/PortsWatch.h"

#include "framework/ExitCodes.h"
#include "framework/StopSignals.h"
#include "links/PolledLink.h"
#include "platform/PortNames.h"
#include "tools/xpdrctl/StatusOutput.h"
#include "transponder/SequenceRecord.h"

#include <QEventLoop>
#include <QJsonObject>
#include <QSocketNotifier>

#include <algorithm>
#include <memory>
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
};

} // namespace

int watchPorts(const Invocation& invocation, fw::StopSignals& stops, std::ostream& out, std::ostream& err)
{
    QEventLoop loop;
    int exitCode = fw::exitcode::Ok;
    std::vector<WatchedPort> ports(invocation.ports.size());

    // Ends the watch once every port's first opening has ended and none opened.
    const auto noneOpened = [&] {
        return std::all_of(ports.begin(), ports.end(), [](const WatchedPort& p) { return p.settled && !p.everUp; });
    };
    const auto follow = [&](WatchedPort& port) {
        const PolledLink::Phase phase = port.link->phase();
        const bool up = phase == PolledLink::Phase::Polling;
        if (phase != PolledLink::Phase::Opening) port.settled = true;
        if (up) {
            port.everUp = true;
            if (port.toldDown) err << "xpdrctl: " << port.name << ": back" << std::endl;
            port.toldDown = false;
            return;
        }
        // A link that was up is lost once its failure says so (a silent round
        // before the loss is not the reason); one that never was, by whatever
        // kept it from opening.
        QString failure = port.link->failure();
        // A diagnosis names the port itself; the line names it once.
        if (const QString named = QString::fromStdString(port.name) + QStringLiteral(": "); failure.startsWith(named))
            failure.remove(0, named.size());
        const bool told = phase == PolledLink::Phase::Failed && !failure.isEmpty()
                          && (!port.everUp || failure.startsWith(QLatin1String("lost")));
        if (told && !port.toldDown) {
            err << "xpdrctl: " << port.name << ": " << failure.toLocal8Bit().toStdString() << std::endl;
            port.toldDown = true;
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
                         });
    }

    QSocketNotifier stopNotifier(stops.fd(), QSocketNotifier::Read);
    QObject::connect(&stopNotifier, &QSocketNotifier::activated, &loop, [&] {
        if (stops.take() != 0) loop.quit();
    });
    for (WatchedPort& port : ports) port.link->start();
    loop.exec();
    return exitCode;
}

} // namespace xpdrctl
