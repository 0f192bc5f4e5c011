#pragma once

#include "links/RemoteRow.h"
#include "mqtt/BrokerSettings.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <map>
#include <memory>
#include <utility>

namespace mqtt {

class MosquittoClient;

// Other machines' fleets as the broker holds them under PREFIX: read only,
// since nothing a viewer could send would reach a link. Each state or alarm
// message updates its row; an empty retained state (the port removed there)
// removes it; the online topic and its will tell whether its publisher is
// still there. A viewer that falls behind delays only itself: the broker
// holds what it has not taken yet, never the publisher.
class FleetSubscriber : public QObject {
    Q_OBJECT
public:
    explicit FleetSubscriber(BrokerSettings settings, QObject* parent = nullptr);
    ~FleetSubscriber() override;
    void start();

signals:
    void rowChanged(const links::RemoteRow& row);                    // state or alarms changed
    void rowRemoved(const QString& publisher, const QString& port);  // retained topic cleared
    void publisherOnline(const QString& publisher, bool online);     // online / last will
    void told(const QString& line);

private:
    void connectionAnswered(int reason);
    void connectionLost();
    void subscribeAnswered(int mid, const QList<int>& granted);
    void messageArrived(const std::string& topic, const QByteArray& payload, bool retained);
    void tell(const QString& line);

    BrokerSettings settings_;
    std::unique_ptr<MosquittoClient> client_;
    std::map<std::pair<QString, QString>, links::RemoteRow> rows_; // by publisher and port
    std::map<int, std::string> subscriptions_;                      // unanswered: their filters
    bool away_ = false;
    bool started_ = false;
    QString toldLast_;
    QTimer reach_;
};

} // namespace mqtt
