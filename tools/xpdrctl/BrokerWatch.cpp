#include "tools/xpdrctl/BrokerWatch.h"

#include "framework/ExitCodes.h"
#include "framework/StopSignals.h"
#include "mqtt/FleetSubscriber.h"
#include "mqtt/Payloads.h"
#include "tools/xpdrctl/StatusOutput.h"

#include <QEventLoop>
#include <QJsonObject>
#include <QSocketNotifier>

#include <csignal>
#include <poll.h>
#include <unistd.h>
#include <variant>

namespace xpdrctl {

std::optional<mqtt::BrokerSettings> brokerSettings(const std::string& url, const std::string& config, std::ostream& err)
{
    auto read = mqtt::readBrokerSettings(url, config);
    if (const auto* problem = std::get_if<std::string>(&read)) {
        err << "xpdrctl: " << *problem << std::endl;
        return std::nullopt;
    }
    const mqtt::BrokerSettings& settings = std::get<mqtt::BrokerSettings>(read);
    if (mqtt::unencrypted(settings))
        err << "xpdrctl: " << mqtt::brokerUrl(settings)
            << ": warning: the link to the broker is unencrypted and leaves this machine" << std::endl;
    return settings;
}

int watchBroker(const Invocation& invocation, fw::StopSignals& stops, std::ostream& out, std::ostream& err)
{
    const auto settings = brokerSettings(invocation.mqttSubscribe, invocation.mqttConfig, err);
    if (!settings) return fw::exitcode::Usage;
    QEventLoop loop;
    mqtt::FleetSubscriber subscriber(*settings);
    const auto write = [&](const QJsonObject& object) {
        out << jsonLine(object) << std::flush;
        if (!out && outputReaderGone()) loop.quit();
    };
    QObject::connect(&subscriber, &mqtt::FleetSubscriber::rowChanged, &loop,
                     [&](const links::RemoteRow& row) { write(mqtt::rowJson(row)); });
    QObject::connect(&subscriber, &mqtt::FleetSubscriber::rowRemoved, &loop,
                     [&](const QString& publisher, const QString& port) {
                         write({{QStringLiteral("publisher"), publisher}, {QStringLiteral("port"), port},
                                {QStringLiteral("removed"), true}});
                     });
    QObject::connect(&subscriber, &mqtt::FleetSubscriber::publisherOnline, &loop,
                     [&](const QString& publisher, bool online) {
                         write({{QStringLiteral("publisher"), publisher}, {QStringLiteral("online"), online}});
                     });
    QObject::connect(&subscriber, &mqtt::FleetSubscriber::told, &loop,
                     [&](const QString& line) { err << "xpdrctl: " << line.toLocal8Bit().toStdString() << std::endl; });
    QSocketNotifier stopNotifier(stops.fd(), QSocketNotifier::Read);
    QObject::connect(&stopNotifier, &QSocketNotifier::activated, &loop, [&] {
        if (stops.take() != 0) loop.quit();
    });
    subscriber.start();
    loop.exec();
    return fw::exitcode::Ok;
}

bool outputReaderGone()
{
    pollfd output{STDOUT_FILENO, 0, 0};
    return ::poll(&output, 1, 0) == 1 && (output.revents & POLLERR) != 0;
}

void endAsOutputClosed()
{
    std::signal(SIGPIPE, SIG_DFL);
    std::raise(SIGPIPE);
    std::_Exit(128 + SIGPIPE);
}

} // namespace xpdrctl
