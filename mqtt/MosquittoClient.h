#pragma once

#include "mqtt/BrokerSettings.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

struct mosquitto;
struct mosquitto_message;
struct mqtt5__property;

namespace mqtt {

// One client of the broker over libmosquitto, which does the protocol's work:
// MQTT 5, its own thread (mosquitto_loop_start) that keeps the connection,
// pings it every KeepaliveSeconds and reconnects with a growing delay, TLS
// with the server's name checked, and the will. Calls here only queue work
// for that thread and never wait for the broker. What that thread reports is
// handed over to this object's thread by queued invocation, and only there
// becomes a signal.
class MosquittoClient : public QObject {
    Q_OBJECT
public:
    // A vanished client shows at the broker after one and a half of these.
    static constexpr int KeepaliveSeconds = 10;
    // The delay between attempts grows from the first to the longest: a
    // broker back after an outage is found within the longest, and an
    // attempt on the loopback or the room's network costs next to nothing.
    static constexpr unsigned ReconnectFirstSeconds = 1;
    static constexpr unsigned ReconnectMaxSeconds = 3;

    MosquittoClient(BrokerSettings settings, std::string clientId, QObject* parent = nullptr);
    ~MosquittoClient() override;
    MosquittoClient(const MosquittoClient&) = delete;
    MosquittoClient& operator=(const MosquittoClient&) = delete;

    // Sets the client up (the password read from its file now, and kept only
    // by libmosquitto) and starts connecting; a broker that cannot be reached
    // yet is no failure, the thread tries again. A will, when its topic is not
    // empty, goes with every connection, retained at QoS 1. False with
    // `problem` when the client could not be set up.
    bool start(const std::string& willTopic, const QByteArray& willPayload, QString& problem);
    // A clean end: what is queued goes out before the DISCONNECT; waits at
    // most `limitMs` for it. A thread that has not ended by then (one still
    // connecting to a host that never answers) is left to end on its own:
    // the caller never waits for the network's time-outs.
    void stop(int limitMs = 2000);

    bool isConnected() const { return route_->connected; }
    const std::string& clientId() const { return clientId_; }
    // The broker as the operator named it, for the lines that tell of it.
    QString url() const { return QString::fromStdString(brokerUrl(settings_)); }

    // Queued for the thread. The message id, or 0 when it could not be queued
    // (no connection).
    int publish(const std::string& topic, const QByteArray& payload, int qos, bool retain, int expirySeconds = 0);
    // `options`: MQTT 5 subscription options (no local, retain handling).
    int subscribe(const std::string& filter, int qos, int options = 0);

    // libmosquitto's words for a reason code, "not authorised".
    static QString reasonText(int reason);

signals:
    // The broker's CONNACK: 0 accepted, otherwise its reason code.
    void connectionAnswered(int reason);
    // The connection is gone; libmosquitto is reconnecting unless stopped.
    void connectionLost(int reason);
    // A QoS 1 publication's acknowledgement, with its reason code.
    void publishAnswered(int mid, int reason);
    // A subscription's SUBACK: the granted QoS or a reason code per filter.
    void subscribeAnswered(int mid, const QList<int>& granted);
    void messageArrived(const std::string& topic, const QByteArray& payload, bool retained);

private:
    void lost(int reason, bool loopEnds);
    static void onConnect(mosquitto*, void* self, int reason, int flags, const ::mqtt5__property*);
    static void onDisconnect(mosquitto*, void* self, int reason, const ::mqtt5__property*);
    static void onPublish(mosquitto*, void* self, int mid, int reason, const ::mqtt5__property*);
    static void onSubscribe(mosquitto*, void* self, int mid, int count, const int* granted, const ::mqtt5__property*);
    static void onMessage(mosquitto*, void* self, const ::mosquitto_message* message, const ::mqtt5__property*);

    // What libmosquitto's thread reaches the object through. It outlives the
    // object while that thread may still run: a client that cannot end at
    // once is ended on a thread of its own, and its callbacks then find no
    // object to hand over to.
    struct Route {
        std::mutex mutex;
        MosquittoClient* client = nullptr; // under mutex
        std::atomic<bool> connected{false};
        std::condition_variable ended;
        bool disconnected = false; // under mutex
    };
    // Runs `hand` with the object, under the route's lock, when there is one.
    template <class Hand>
    static void through(void* route, Hand hand);

    BrokerSettings settings_;
    std::string clientId_;
    mosquitto* client_ = nullptr;
    bool looping_ = false; // its thread started, and not joined yet
    bool stopped_ = false;
    std::shared_ptr<Route> route_ = std::make_shared<Route>();
};

} // namespace mqtt
