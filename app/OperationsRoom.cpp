#include "app/OperationsRoom.h"

#include "app/BrokerDialog.h"
#include "app/PanelSettings.h"
#include "mqtt/FleetPublisher.h"
#include "mqtt/FleetSubscriber.h"

#include <variant>

namespace {

const QString PublishGroup = QStringLiteral("room/publish");
const QString PublishingKey = QStringLiteral("room/publishing");
const QString RemoteGroup = QStringLiteral("room/remote");

QString portName(sPorts port)
{
    return QStringLiteral("COM%1").arg(unsigned{port});
}

// The mark of a link that leaves the machine in the clear, as a network port's.
QString mark(const mqtt::BrokerSettings& settings)
{
    return mqtt::unencrypted(settings) ? QStringLiteral(" · unencrypted") : QString();
}

// Where a line leads, as the operator named it.
QString where(const mqtt::BrokerSettings& settings)
{
    return QString::fromStdString(mqtt::brokerUrl(settings)) + u'/' + QString::fromStdString(settings.prefix) +
           mark(settings);
}

} // namespace

OperationsRoom::OperationsRoom(links::FleetModel& fleet, QObject* parent)
    : QObject(parent)
    , fleet_(fleet)
{
}

OperationsRoom::~OperationsRoom() = default;

void OperationsRoom::restore()
{
    QSettings store = panelSettings();
    if (store.value(PublishingKey).toBool()) {
        auto kept = BrokerDialog::kept(store, PublishGroup);
        if (const auto* settings = std::get_if<mqtt::BrokerSettings>(&kept))
            startPublisher(*settings);
        else
            refused_ << QStringLiteral("Not publishing: %1").arg(QString::fromStdString(std::get<std::string>(kept)));
    }
    store.beginGroup(RemoteGroup);
    const QStringList groups = store.childGroups();
    store.endGroup();
    for (const QString& group : groups) {
        auto kept = BrokerDialog::kept(store, RemoteGroup + u'/' + group);
        if (const auto* settings = std::get_if<mqtt::BrokerSettings>(&kept))
            startRemote(*settings);
        else
            refused_ << QStringLiteral("Remote fleet left out: %1")
                            .arg(QString::fromStdString(std::get<std::string>(kept)));
    }
    tell();
}

void OperationsRoom::publish(const mqtt::BrokerSettings& settings)
{
    refused_.clear();
    QSettings store = panelSettings();
    BrokerDialog::keep(store, PublishGroup, settings);
    store.setValue(PublishingKey, true);
    startPublisher(settings);
    tell();
}

void OperationsRoom::startPublisher(const mqtt::BrokerSettings& settings)
{
    // The one before stops cleanly first: offline is said under its name.
    publisher_.reset();
    published_ = settings;
    publisher_ = std::make_unique<mqtt::FleetPublisher>(settings);
    publisherLine_ = QStringLiteral("Publishing to %1").arg(where(settings));
    connect(publisher_.get(), &mqtt::FleetPublisher::told, this, [this](const QString& line) {
        // The news names the broker itself.
        publisherLine_ = QStringLiteral("Publishing%1: %2").arg(mark(published_), line);
        tell();
    });
    for (int row = 0; row < fleet_.localRowCount(); ++row) portAdded(row);
    publisher_->start();
}

void OperationsRoom::stopPublishing()
{
    publisher_.reset();
    publisherLine_.clear();
    panelSettings().setValue(PublishingKey, false);
    tell();
}

std::optional<mqtt::BrokerSettings> OperationsRoom::lastPublished() const
{
    QSettings store = panelSettings();
    auto kept = BrokerDialog::kept(store, PublishGroup);
    if (const auto* settings = std::get_if<mqtt::BrokerSettings>(&kept)) return *settings;
    return std::nullopt;
}

void OperationsRoom::addRemote(const mqtt::BrokerSettings& settings)
{
    refused_.clear();
    startRemote(settings);
    keepRemotes();
    tell();
}

void OperationsRoom::startRemote(const mqtt::BrokerSettings& settings)
{
    Remote remote;
    remote.settings = settings;
    remote.subscriber = std::make_unique<mqtt::FleetSubscriber>(settings);
    remote.line = QStringLiteral("Watching %1").arg(where(settings));
    mqtt::FleetSubscriber* subscriber = remote.subscriber.get();
    // Found again by the subscriber: the list moves as fleets are removed.
    const auto mine = [this, subscriber]() -> Remote& {
        for (Remote& r : remotes_)
            if (r.subscriber.get() == subscriber) return r;
        Q_UNREACHABLE();
    };
    connect(subscriber, &mqtt::FleetSubscriber::rowChanged, this, [this, mine](const links::RemoteRow& row) {
        Remote& r = mine();
        if (!r.publishers.contains(row.publisher)) r.publishers << row.publisher;
        fleet_.setRemoteRow(row);
    });
    connect(subscriber, &mqtt::FleetSubscriber::rowRemoved, &fleet_, &links::FleetModel::removeRemoteRow);
    connect(subscriber, &mqtt::FleetSubscriber::publisherOnline, &fleet_, &links::FleetModel::setPublisherOnline);
    connect(subscriber, &mqtt::FleetSubscriber::told, this, [this, mine](const QString& line) {
        Remote& r = mine();
        r.line = QStringLiteral("Remote fleet%1: %2").arg(mark(r.settings), line);
        tell();
    });
    remotes_.push_back(std::move(remote));
    subscriber->start();
}

void OperationsRoom::removeRemote(int index)
{
    if (index < 0 || index >= static_cast<int>(remotes_.size())) return;
    const QStringList publishers = remotes_[static_cast<std::size_t>(index)].publishers;
    remotes_.erase(remotes_.begin() + index);
    for (const QString& publisher : publishers) fleet_.removePublisher(publisher);
    keepRemotes();
    tell();
}

QStringList OperationsRoom::remoteFleets() const
{
    QStringList fleets;
    for (const Remote& remote : remotes_) fleets << where(remote.settings);
    return fleets;
}

void OperationsRoom::keepRemotes() const
{
    QSettings store = panelSettings();
    store.remove(RemoteGroup);
    for (std::size_t i = 0; i < remotes_.size(); ++i)
        BrokerDialog::keep(store, RemoteGroup + u'/' + QString::number(i).rightJustified(3, u'0'), remotes_[i].settings);
}

void OperationsRoom::portAdded(int row)
{
    if (publisher_) publisher_->addLink(fleet_.link(row), portName(fleet_.link(row).port()));
}

void OperationsRoom::portRemoving(int row)
{
    if (publisher_) publisher_->removeLink(portName(fleet_.link(row).port()));
}

QString OperationsRoom::status() const
{
    QStringList lines = refused_;
    if (!publisherLine_.isEmpty()) lines << publisherLine_;
    for (const Remote& remote : remotes_) lines << remote.line;
    return lines.join(u'\n');
}

QString OperationsRoom::unencryptedWhy() const
{
    std::vector<const mqtt::BrokerSettings*> plain;
    if (publisher_ && mqtt::unencrypted(published_)) plain.push_back(&published_);
    for (const Remote& remote : remotes_)
        if (mqtt::unencrypted(remote.settings)) plain.push_back(&remote.settings);
    QStringList why;
    for (const mqtt::BrokerSettings* settings : plain)
        why << QStringLiteral("The link to %1 is not encrypted: whoever is on the way reads the fleet, and may pass "
                              "for the broker.")
                   .arg(QString::fromStdString(mqtt::brokerUrl(*settings)));
    if (!why.isEmpty())
        why << QStringLiteral("Give the broker a TLS listener and write mqtts://, with its certificate as the CA file.");
    return why.join(u'\n');
}

void OperationsRoom::tell()
{
    emit statusChanged(status());
}
