#include "mqtt/FleetSubscriber.h"

#include "mqtt/MosquittoClient.h"
#include "mqtt/Payloads.h"
#include "mqtt/Topics.h"

#include <mqtt_protocol.h>

#include <atomic>
#include <chrono>
#include <unistd.h>

namespace mqtt {

namespace {

// How long a first connection may take before the broker is told away.
constexpr int ReachMs = 3000;

// Each viewer of the process has a client id of its own: the broker would
// take a second connection under the same id for the first's return and
// close that one.
std::string viewerId(const BrokerSettings& settings)
{
    static std::atomic<int> viewers{0};
    return publisherName(settings) + "-viewer-" + std::to_string(::getpid()) + "-" + std::to_string(++viewers);
}

} // namespace

FleetSubscriber::FleetSubscriber(BrokerSettings settings, QObject* parent)
    : QObject(parent)
    , settings_(std::move(settings))
    , client_(std::make_unique<MosquittoClient>(settings_, viewerId(settings_)))
{
    connect(client_.get(), &MosquittoClient::connectionAnswered, this, &FleetSubscriber::connectionAnswered);
    connect(client_.get(), &MosquittoClient::connectionLost, this, &FleetSubscriber::connectionLost);
    connect(client_.get(), &MosquittoClient::subscribeAnswered, this, &FleetSubscriber::subscribeAnswered);
    connect(client_.get(), &MosquittoClient::messageArrived, this, &FleetSubscriber::messageArrived);
    reach_.setSingleShot(true);
    reach_.setInterval(ReachMs);
    connect(&reach_, &QTimer::timeout, this, [this] {
        if (client_->isConnected() || away_) return;
        away_ = true;
        tell(client_->url() + QStringLiteral(": the broker cannot be reached; trying again"));
    });
}

FleetSubscriber::~FleetSubscriber()
{
    client_->stop();
}

void FleetSubscriber::start()
{
    if (started_) return;
    QString problem;
    if (!client_->start({}, {}, problem)) {
        tell(problem);
        return;
    }
    started_ = true;
    reach_.start();
}

void FleetSubscriber::connectionAnswered(int reason)
{
    reach_.stop();
    if (reason != 0) {
        away_ = true;
        tell(client_->url() + QStringLiteral(": the broker refused the user %1 (%2): its password file and access list say who may "
                                    "connect; trying again")
                         .arg(QString::fromStdString(settings_.user.empty() ? std::string("(none)") : settings_.user),
                              MosquittoClient::reasonText(reason)));
        return;
    }
    subscriptions_.clear();
    for (const std::string& filter : {everyOnline(settings_.prefix), everyState(settings_.prefix), everyAlarm(settings_.prefix)})
        if (const int mid = client_->subscribe(filter, 1)) subscriptions_[mid] = filter;
    if (!away_) return;
    away_ = false;
    tell(client_->url() + QStringLiteral(": reading the fleets again"));
}

void FleetSubscriber::connectionLost()
{
    if (away_) return;
    away_ = true;
    tell(client_->url() + QStringLiteral(": the broker went away; the rows keep their last state; reconnecting"));
}

void FleetSubscriber::subscribeAnswered(int mid, const QList<int>& granted)
{
    const auto found = subscriptions_.find(mid);
    if (found == subscriptions_.end()) return;
    const std::string filter = found->second;
    subscriptions_.erase(found);
    if (granted.value(0, MQTT_RC_UNSPECIFIED) < MQTT_RC_UNSPECIFIED) return;
    tell(client_->url() + QStringLiteral(": the broker refused to let %1 read %2 (%3): its access list must let viewers read %4/#")
                     .arg(QString::fromStdString(settings_.user.empty() ? std::string("(none)") : settings_.user),
                          QString::fromStdString(filter), MosquittoClient::reasonText(granted.value(0)),
                          QString::fromStdString(settings_.prefix)));
}

void FleetSubscriber::messageArrived(const std::string& topic, const QByteArray& payload, bool retained)
{
    const auto name = readTopic(settings_.prefix, topic);
    if (!name) return;
    if (name->kind == TopicName::Kind::Online) {
        if (const auto state = readOnline(payload)) emit publisherOnline(name->publisher, state->online);
        return;
    }
    const std::pair key{name->publisher, name->port};
    if (payload.isEmpty()) {
        if (name->kind == TopicName::Kind::State && rows_.erase(key)) emit rowRemoved(name->publisher, name->port);
        return;
    }
    const bool known = rows_.contains(key);
    links::RemoteRow row = known ? rows_.at(key) : links::RemoteRow{};
    row.publisher = name->publisher;
    row.port = name->port;
    if (name->kind == TopicName::Kind::State) {
        if (!readState(payload, row)) return;
        // A message sent just now measures the clocks; a retained one was
        // sent whenever it was.
        if (!retained)
            row.clockDifference = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::system_clock::now() - row.published);
    } else if (!readAlarms(payload, row)) {
        return;
    }
    rows_[key] = row;
    // A row is shown once its state is known: alarms alone name no link.
    if (!row.link.isEmpty()) emit rowChanged(row);
}

void FleetSubscriber::tell(const QString& line)
{
    if (line == toldLast_) return;
    toldLast_ = line;
    emit told(line);
}

} // namespace mqtt
