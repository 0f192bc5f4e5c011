#pragma once

#include "mqtt/BrokerSettings.h"
#include "mqtt/Outbox.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <map>
#include <memory>
#include <string>

namespace links {
class PolledLink;
}

namespace mqtt {

class MosquittoClient;

// The fleet published to the operations room's broker, retained, under
// PREFIX/PUBLISHER: each link's state on every change and at least once a
// minute (with a message expiry, so that a fleet long gone leaves no state
// behind), its alarms on every change at QoS 1, and PREFIX/PUBLISHER/online,
// whose will says offline when the publisher vanishes.
//
// Nothing waits for the broker: what changes while it is away only replaces
// the latest payload of its topic, and everything held is published again
// when it is back. Nothing is ever taken from the broker but the online
// topic, read once per connection so that a second publisher under the same
// name is refused rather than the two knocking each other's state off; no
// command can reach a link through here.
class FleetPublisher : public QObject {
    Q_OBJECT
public:
    // How long a state stays at the broker without news, and how often it is
    // published without a change.
    static constexpr int StateExpirySeconds = 300;
    static constexpr int RefreshMs = 60000;
    // How long a first connection may take before the broker is told away.
    static constexpr int ReachMs = 3000;

    explicit FleetPublisher(BrokerSettings settings, QObject* parent = nullptr);
    ~FleetPublisher() override;                  // a clean stop: offline published, bounded wait
    void start();
    // Connects the link: its state (the object watch --json prints, with the link's state)
    // on every change and at least once a minute, its alarms on every change.
    void addLink(const links::PolledLink& link, const QString& port);
    void removeLink(const QString& port);        // clears its retained topics
    QString publisher() const;

signals:
    void told(const QString& line);              // one line per change: away, back, refused + diagnosis

private:
    enum class Phase { Stopped, Connecting, Checking, Online, Refused };
    struct Published {
        const links::PolledLink* link = nullptr;
        QString state; // stateKey() of what was last sent
        std::vector<QMetaObject::Connection> connections;
    };

    void connectionAnswered(int reason);
    void connectionLost();
    void subscribeAnswered(int mid, const QList<int>& granted);
    void messageArrived(const std::string& topic, const QByteArray& payload);
    void publishAnswered(int mid, int reason);
    void goOnline();
    void publishState(const QString& port, bool evenUnchanged);
    void publishAlarms(const QString& port);
    void send(const std::string& topic, const QByteArray& payload, int qos, int expirySeconds = 0);
    void sendNow(const std::string& topic, const Outbox::Entry& entry);
    void tell(const QString& line);

    BrokerSettings settings_;
    std::string publisher_;
    std::unique_ptr<MosquittoClient> client_;
    Outbox outbox_;
    std::map<QString, Published> links_;
    std::map<int, std::string> awaited_; // QoS 1 publications not yet answered: their topics
    Phase phase_ = Phase::Stopped;
    int firstCheck_ = 0;  // the subscription that brings the online topic's retained message
    int fence_ = 0;       // the one after it: its answer comes after that message
    QString holder_;      // another publisher's client seen online under our name
    bool away_ = false;   // stderr/the window has been told the broker is away
    QString toldLast_;
    QTimer refresh_;
    QTimer reach_;
};

} // namespace mqtt
