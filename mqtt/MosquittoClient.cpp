#include "mqtt/MosquittoClient.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <thread>

namespace mqtt {

namespace {

// Not thread-safe, and needed once per process.
void initialiseOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

// Where the system keeps the CAs it trusts, for a broker whose certificate
// is signed by one of them and no ca= is given.
constexpr const char* SystemCaFolder = "/etc/ssl/certs";

// The errors after which mosquitto_loop_forever returns, ending the thread
// of mosquitto_loop_start, where any other has it reconnect. It also returns
// when the loss left EPROTO in the thread's errno, as a TLS link cut short by
// a broker that went away does.
bool endsTheLoop(int error, int errorNumber)
{
    if (errorNumber == EPROTO) return true;
    switch (error) {
    case MOSQ_ERR_NOMEM:
    case MOSQ_ERR_PROTOCOL:
    case MOSQ_ERR_INVAL:
    case MOSQ_ERR_NOT_FOUND:
    case MOSQ_ERR_TLS:
    case MOSQ_ERR_PAYLOAD_SIZE:
    case MOSQ_ERR_NOT_SUPPORTED:
    case MOSQ_ERR_AUTH:
    case MOSQ_ERR_ACL_DENIED:
    case MOSQ_ERR_UNKNOWN:
    case MOSQ_ERR_EAI:
    case MOSQ_ERR_PROXY:
        return true;
    default:
        return false;
    }
}

const char* orNull(const std::string& text)
{
    return text.empty() ? nullptr : text.c_str();
}

} // namespace

MosquittoClient::MosquittoClient(BrokerSettings settings, std::string clientId, QObject* parent)
    : QObject(parent)
    , settings_(std::move(settings))
    , clientId_(std::move(clientId))
{
    route_->client = this;
}

MosquittoClient::~MosquittoClient()
{
    stop();
    {
        std::lock_guard lock(route_->mutex);
        route_->client = nullptr;
    }
    if (!client_) return;
    if (!looping_) {
        mosquitto_destroy(client_);
        return;
    }
    // Its thread is still in a connection attempt: it ends there, told to
    // disconnect, and is joined and destroyed on a thread of its own, which
    // keeps the route its callbacks use.
    std::thread([client = client_, route = route_] {
        mosquitto_loop_stop(client, false);
        mosquitto_destroy(client);
    }).detach();
}

template <class Hand>
void MosquittoClient::through(void* route, Hand hand)
{
    auto* to = static_cast<Route*>(route);
    std::lock_guard lock(to->mutex);
    if (to->client) hand(*to->client);
}

bool MosquittoClient::start(const std::string& willTopic, const QByteArray& willPayload, QString& problem)
{
    initialiseOnce();
    if (!client_) client_ = mosquitto_new(clientId_.c_str(), true, route_.get());
    if (!client_) {
        problem = QStringLiteral("cannot make a broker client: out of memory");
        return false;
    }
    mosquitto_int_option(client_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
    mosquitto_connect_v5_callback_set(client_, &MosquittoClient::onConnect);
    mosquitto_disconnect_v5_callback_set(client_, &MosquittoClient::onDisconnect);
    mosquitto_publish_v5_callback_set(client_, &MosquittoClient::onPublish);
    mosquitto_subscribe_v5_callback_set(client_, &MosquittoClient::onSubscribe);
    mosquitto_message_v5_callback_set(client_, &MosquittoClient::onMessage);

    const auto failed = [&](const char* what, int error) {
        problem = QStringLiteral("%1: %2: %3")
                      .arg(QString::fromStdString(brokerUrl(settings_)), QLatin1String(what),
                           QString::fromUtf8(mosquitto_strerror(error)));
        return false;
    };
    if (settings_.tls) {
        const bool systemCas = settings_.caFile.empty();
        int error = mosquitto_tls_set(client_, orNull(settings_.caFile), systemCas ? SystemCaFolder : nullptr,
                                      orNull(settings_.certFile), orNull(settings_.keyFile), nullptr);
        if (error != MOSQ_ERR_SUCCESS) return failed("its TLS files", error);
        // The server's name is checked against its certificate.
        error = mosquitto_tls_insecure_set(client_, false);
        if (error != MOSQ_ERR_SUCCESS) return failed("TLS", error);
    }
    if (!settings_.user.empty()) {
        std::string password;
        std::string diagnosis;
        if (!readPassword(settings_, password, diagnosis)) {
            problem = QString::fromStdString(diagnosis);
            return false;
        }
        const int error = mosquitto_username_pw_set(client_, settings_.user.c_str(), orNull(password));
        std::fill(password.begin(), password.end(), '\0');
        if (error != MOSQ_ERR_SUCCESS) return failed("the user name", error);
    }
    if (!willTopic.empty()) {
        const int error = mosquitto_will_set_v5(client_, willTopic.c_str(), static_cast<int>(willPayload.size()),
                                                willPayload.constData(), 1, true, nullptr);
        if (error != MOSQ_ERR_SUCCESS) return failed("the will", error);
    }
    mosquitto_reconnect_delay_set(client_, ReconnectFirstSeconds, ReconnectMaxSeconds, true);
    // A broker away now is no failure: the loop's thread tries again.
    const int connecting = mosquitto_connect_async(client_, settings_.host.c_str(), settings_.port, KeepaliveSeconds);
    if (connecting != MOSQ_ERR_SUCCESS && connecting != MOSQ_ERR_ERRNO && connecting != MOSQ_ERR_EAI)
        return failed("cannot connect", connecting);
    const int looping = mosquitto_loop_start(client_);
    if (looping != MOSQ_ERR_SUCCESS) return failed("cannot start its thread", looping);
    looping_ = true;
    return true;
}

void MosquittoClient::stop(int limitMs)
{
    if (!looping_ || stopped_) return;
    stopped_ = true; // a loss reported from now on starts no thread again
    const bool wasConnected = route_->connected;
    mosquitto_disconnect_v5(client_, MQTT_RC_NORMAL_DISCONNECTION, nullptr);
    bool ended = false;
    if (wasConnected) {
        std::unique_lock lock(route_->mutex);
        ended = route_->ended.wait_for(lock, std::chrono::milliseconds(limitMs), [this] { return route_->disconnected; });
    }
    route_->connected = false;
    if (!wasConnected || !ended) return; // left for the destructor's own thread
    mosquitto_loop_stop(client_, false);
    looping_ = false;
}

void MosquittoClient::lost(int reason, bool loopEnds)
{
    // The thread has ended, or is about to: joined, it is started again, and
    // reconnects with the same back-off as after any other loss.
    if (looping_ && !stopped_ && loopEnds) {
        mosquitto_loop_stop(client_, false);
        mosquitto_reconnect_async(client_);
        looping_ = mosquitto_loop_start(client_) == MOSQ_ERR_SUCCESS;
    }
    emit connectionLost(reason);
}

int MosquittoClient::publish(const std::string& topic, const QByteArray& payload, int qos, bool retain, int expirySeconds)
{
    if (!client_) return 0;
    mosquitto_property* properties = nullptr;
    if (expirySeconds > 0)
        mosquitto_property_add_int32(&properties, MQTT_PROP_MESSAGE_EXPIRY_INTERVAL, static_cast<uint32_t>(expirySeconds));
    int mid = 0;
    const int error = mosquitto_publish_v5(client_, &mid, topic.c_str(), static_cast<int>(payload.size()),
                                           payload.isEmpty() ? nullptr : payload.constData(), qos, retain, properties);
    mosquitto_property_free_all(&properties);
    return error == MOSQ_ERR_SUCCESS ? mid : 0;
}

int MosquittoClient::subscribe(const std::string& filter, int qos, int options)
{
    if (!client_) return 0;
    int mid = 0;
    return mosquitto_subscribe_v5(client_, &mid, filter.c_str(), qos, options, nullptr) == MOSQ_ERR_SUCCESS ? mid : 0;
}

QString MosquittoClient::reasonText(int reason)
{
    return QString::fromUtf8(mosquitto_reason_string(reason));
}

void MosquittoClient::onConnect(mosquitto*, void* route, int reason, int, const mosquitto_property*)
{
    auto* to = static_cast<Route*>(route);
    if (reason == 0) to->connected = true;
    through(route, [reason](MosquittoClient& client) {
        client.route_->disconnected = false;
        QMetaObject::invokeMethod(&client, [&client, reason] { emit client.connectionAnswered(reason); },
                                  Qt::QueuedConnection);
    });
}

void MosquittoClient::onDisconnect(mosquitto*, void* route, int reason, const mosquitto_property*)
{
    // Read first: the loop decides by it once this returns.
    const bool loopEnds = endsTheLoop(reason, errno);
    auto* to = static_cast<Route*>(route);
    to->connected = false;
    {
        std::lock_guard lock(to->mutex);
        to->disconnected = true;
        if (to->client) {
            MosquittoClient* client = to->client;
            QMetaObject::invokeMethod(client, [client, reason, loopEnds] { client->lost(reason, loopEnds); },
                                      Qt::QueuedConnection);
        }
    }
    to->ended.notify_all();
}

void MosquittoClient::onPublish(mosquitto*, void* route, int mid, int reason, const mosquitto_property*)
{
    through(route, [mid, reason](MosquittoClient& client) {
        QMetaObject::invokeMethod(&client, [&client, mid, reason] { emit client.publishAnswered(mid, reason); },
                                  Qt::QueuedConnection);
    });
}

void MosquittoClient::onSubscribe(mosquitto*, void* route, int mid, int count, const int* granted, const mosquitto_property*)
{
    QList<int> answers(granted, granted + count);
    through(route, [mid, &answers](MosquittoClient& client) {
        QMetaObject::invokeMethod(&client, [&client, mid, answers] { emit client.subscribeAnswered(mid, answers); },
                                  Qt::QueuedConnection);
    });
}

void MosquittoClient::onMessage(mosquitto*, void* route, const mosquitto_message* message, const mosquitto_property*)
{
    std::string topic(message->topic);
    QByteArray payload(static_cast<const char*>(message->payload), message->payloadlen);
    const bool retained = message->retain;
    through(route, [&topic, &payload, retained](MosquittoClient& client) {
        QMetaObject::invokeMethod(
            &client, [&client, topic = std::move(topic), payload, retained] { emit client.messageArrived(topic, payload, retained); },
            Qt::QueuedConnection);
    });
}

} // namespace mqtt
