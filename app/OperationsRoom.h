#pragma once

#include "links/FleetModel.h"
#include "mqtt/BrokerSettings.h"

#include <QObject>
#include <QStringList>
#include <memory>
#include <optional>
#include <vector>

namespace mqtt {
class FleetPublisher;
class FleetSubscriber;
} // namespace mqtt

// The fleet in the operations room: its local rows published to one broker,
// and the remote fleets read from others into the fleet's model, each kept
// in the panel's settings and brought back at the next start. Each publisher
// and viewer has one line of status, its last news, marked "unencrypted" when
// its link leaves the machine in the clear.
class OperationsRoom : public QObject {
    Q_OBJECT
public:
    explicit OperationsRoom(links::FleetModel& fleet, QObject* parent = nullptr);
    ~OperationsRoom() override;

    // Publishing and the remote fleets as the settings keep them.
    void restore();

    // Publishes every local row to the broker, in place of any before.
    void publish(const mqtt::BrokerSettings& settings);
    void stopPublishing();
    bool publishing() const { return publisher_ != nullptr; }
    // Those last published to, for the dialog to start from.
    std::optional<mqtt::BrokerSettings> lastPublished() const;

    void addRemote(const mqtt::BrokerSettings& settings);
    void removeRemote(int index);
    // Each remote fleet's broker and prefix, as the operator knows it.
    QStringList remoteFleets() const;

    // The fleet's local rows: one was added, or is about to go.
    void portAdded(int row);
    void portRemoving(int row);

    // One line each: the publisher's, then each remote fleet's.
    QString status() const;
    // Why a line is marked "unencrypted", and how to end it; empty when none is.
    QString unencryptedWhy() const;

signals:
    void statusChanged(const QString& status);

private:
    struct Remote {
        mqtt::BrokerSettings settings;
        std::unique_ptr<mqtt::FleetSubscriber> subscriber;
        QStringList publishers; // those whose rows it brought
        QString line;
    };

    void startPublisher(const mqtt::BrokerSettings& settings);
    void startRemote(const mqtt::BrokerSettings& settings);
    void keepRemotes() const;
    void tell();

    links::FleetModel& fleet_;
    std::unique_ptr<mqtt::FleetPublisher> publisher_;
    mqtt::BrokerSettings published_;
    QString publisherLine_;
    std::vector<Remote> remotes_;
    QStringList refused_; // kept settings that no longer check
};
