#include "mqtt/FleetPublisher.h"

#include "links/PolledLink.h"
#include "mqtt/MosquittoClient.h"
#include "mqtt/Payloads.h"
#include "mqtt/Topics.h"

#include <mqtt_protocol.h>

#include <chrono>
#include <unistd.h>

namespace mqtt {

FleetPublisher::FleetPublisher(BrokerSettings settings, QObject* parent)
    : QObject(parent)
    , settings_(std::move(settings))
    , publisher_(publisherName(settings_))
    , client_(std::make_unique<MosquittoClient>(settings_, publisher_ + "-" + std::to_string(::getpid())))
{
    connect(client_.get(), &MosquittoClient::connectionAnswered, this, &FleetPublisher::connectionAnswered);
    connect(client_.get(), &MosquittoClient::connectionLost, this, &FleetPublisher::connectionLost);
    connect(client_.get(), &MosquittoClient::subscribeAnswered, this, &FleetPublisher::subscribeAnswered);
    connect(client_.get(), &MosquittoClient::publishAnswered, this, &FleetPublisher::publishAnswered);
    connect(client_.get(), &MosquittoClient::messageArrived, this,
            [this](const std::string& topic, const QByteArray& payload) { messageArrived(topic, payload); });
    refresh_.setInterval(RefreshMs);
    connect(&refresh_, &QTimer::timeout, this, [this] {
        for (const auto& [port, published] : links_) publishState(port, true);
    });
    reach_.setSingleShot(true);
    reach_.setInterval(ReachMs);
    connect(&reach_, &QTimer::timeout, this, [this] {
        if (phase_ != Phase::Connecting || away_) return;
        away_ = true;
        tell(client_->url() + QStringLiteral(": the broker cannot be reached; polling goes on, and publishing starts when it answers"));
    });
}

FleetPublisher::~FleetPublisher()
{
    for (auto& [port, published] : links_)
        for (const auto& connection : published.connections) disconnect(connection);
    // Viewers see the fleet go at once, not when the will would tell them.
    if (phase_ == Phase::Online)
        client_->publish(onlineTopic(settings_.prefix, publisher_), onlinePayload(false, client_->clientId()), 1, true);
    client_->stop();
}

void FleetPublisher::start()
{
    if (phase_ != Phase::Stopped) return;
    QString problem;
    if (!client_->start(onlineTopic(settings_.prefix, publisher_), onlinePayload(false, client_->clientId()), problem)) {
        tell(problem);
        return;
    }
    phase_ = Phase::Connecting;
    reach_.start();
}

void FleetPublisher::addLink(const links::PolledLink& link, const QString& port)
{
    if (const auto old = links_.find(port); old != links_.end())
        for (const auto& connection : old->second.connections) disconnect(connection);
    Published& published = links_[port];
    published.link = &link;
    published.state = {};
    published.connections = {
        connect(&link, &links::PolledLink::changed, this, [this, port] { publishState(port, false); }),
        connect(&link, &links::PolledLink::alarmChanged, this, [this, port] { publishAlarms(port); }),
        // A link that goes with the program leaves its last state retained.
        connect(&link, &QObject::destroyed, this, [this, port] { links_.erase(port); }),
    };
    publishState(port, true);
    publishAlarms(port);
}

void FleetPublisher::removeLink(const QString& port)
{
    const auto found = links_.find(port);
    if (found == links_.end()) return;
    for (const auto& connection : found->second.connections) disconnect(connection);
    links_.erase(found);
    send(stateTopic(settings_.prefix, publisher_, port), {}, 1);
    send(alarmTopic(settings_.prefix, publisher_, port), {}, 1);
}

QString FleetPublisher::publisher() const
{
    return QString::fromStdString(publisher_);
}

void FleetPublisher::connectionAnswered(int reason)
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
    // The online topic's retained message tells whether another publisher
    // holds the name; the second subscription's answer comes after it.
    phase_ = Phase::Checking;
    holder_.clear();
    firstCheck_ = client_->subscribe(onlineTopic(settings_.prefix, publisher_), 1, MQTT_SUB_OPT_NO_LOCAL);
}

void FleetPublisher::connectionLost()
{
    if (phase_ == Phase::Stopped) return;
    phase_ = Phase::Connecting;
    refresh_.stop();
    awaited_.clear();
    if (away_) return;
    away_ = true;
    tell(client_->url() + QStringLiteral(": the broker went away; polling goes on, and publishing resumes when it is back"));
}

void FleetPublisher::subscribeAnswered(int mid, const QList<int>& granted)
{
    const std::string online = onlineTopic(settings_.prefix, publisher_);
    if (mid == firstCheck_) {
        if (granted.value(0, MQTT_RC_UNSPECIFIED) >= MQTT_RC_UNSPECIFIED)
            tell(client_->url() + QStringLiteral(": the broker's access list does not let %1 read %2, so a second publisher under "
                                        "that name cannot be seen; publishing anyway")
                             .arg(publisher(), QString::fromStdString(online)));
        fence_ = client_->subscribe(online, 1, MQTT_SUB_OPT_NO_LOCAL | MQTT_SUB_OPT_SEND_RETAIN_NEVER);
    } else if (mid == fence_ && phase_ == Phase::Checking) {
        if (holder_.isEmpty()) {
            goOnline();
            return;
        }
        phase_ = Phase::Refused;
        tell(client_->url() + QStringLiteral(": another publisher is online as %1 (client %2): not publishing while it is; give "
                                    "this one a user name of its own")
                         .arg(publisher(), holder_));
    }
}

void FleetPublisher::messageArrived(const std::string& topic, const QByteArray& payload)
{
    if (topic != onlineTopic(settings_.prefix, publisher_)) return;
    const auto state = readOnline(payload);
    if (!state || state->client == QString::fromStdString(client_->clientId())) return;
    if (state->online) {
        holder_ = state->client;
    } else if (state->client == holder_ || holder_.isEmpty()) {
        holder_.clear();
        // The other one has gone (its will, or its clean stop): the name is free.
        if (phase_ == Phase::Refused) goOnline();
    }
}

void FleetPublisher::publishAnswered(int mid, int reason)
{
    const auto found = awaited_.find(mid);
    if (found == awaited_.end()) return;
    const std::string topic = found->second;
    awaited_.erase(found);
    if (reason < MQTT_RC_UNSPECIFIED) return;
    tell(client_->url() + QStringLiteral(": the broker refused %1 (%2): its access list lets a publisher write only %3/<its user>/#")
                     .arg(QString::fromStdString(topic), MosquittoClient::reasonText(reason),
                          QString::fromStdString(settings_.prefix)));
}

void FleetPublisher::goOnline()
{
    // The states go again with this moment's time, the rest as they were
    // last: each topic once, after the publisher is said to be online.
    for (const auto& [port, published] : links_) publishState(port, true);
    phase_ = Phase::Online;
    sendNow(onlineTopic(settings_.prefix, publisher_), {onlinePayload(true, client_->clientId()), 1, 0});
    const auto held = outbox_.entries();
    for (const auto& [topic, entry] : held) sendNow(topic, entry);
    refresh_.start();
    if (!away_) return;
    away_ = false;
    tell(client_->url() + QStringLiteral(": publishing as %1").arg(publisher()));
}

void FleetPublisher::publishState(const QString& port, bool evenUnchanged)
{
    Published& published = links_.at(port);
    QString key = stateKey(*published.link);
    if (!evenUnchanged && key == published.state) return;
    published.state = std::move(key);
    send(stateTopic(settings_.prefix, publisher_, port),
         statePayload(linkState(*published.link, port), std::chrono::system_clock::now()), 0, StateExpirySeconds);
}

void FleetPublisher::publishAlarms(const QString& port)
{
    send(alarmTopic(settings_.prefix, publisher_, port),
         alarmPayload(*links_.at(port).link, port, std::chrono::system_clock::now()), 1);
}

void FleetPublisher::send(const std::string& topic, const QByteArray& payload, int qos, int expirySeconds)
{
    const Outbox::Entry entry{payload, qos, expirySeconds};
    outbox_.put(topic, entry);
    if (phase_ == Phase::Online) sendNow(topic, entry);
}

void FleetPublisher::sendNow(const std::string& topic, const Outbox::Entry& entry)
{
    const int mid = client_->publish(topic, entry.payload, entry.qos, true, entry.expirySeconds);
    if (mid == 0) return; // the connection has just gone: the outbox still holds it
    if (entry.qos > 0) awaited_[mid] = topic;
    if (entry.payload.isEmpty()) outbox_.cleared(topic);
}

void FleetPublisher::tell(const QString& line)
{
    if (line == toldLast_) return;
    toldLast_ = line;
    emit told(line);
}

} // namespace mqtt
