#pragma once

#include "links/RemoteRow.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <chrono>
#include <optional>
#include <string>

namespace links {
class PolledLink;
}

namespace mqtt {

using SystemTime = std::chrono::system_clock::time_point;

// What a link's state topic carries: the object `xpdrctl watch --json`
// prints for its last sequence (none before the first) with "port", and what
// a viewer needs beside it: "link", the link's state in the fleet's words;
// "answering"; "published", when it was sent by the publisher's clock. The
// object without "published" is what tells a change from a repetition.
QJsonObject linkState(const links::PolledLink& link, const QString& port);
// What tells a change of linkState from a repetition, without making the
// object: the link's words, whether it answers, and its last sequence's time.
// A link tells of a change many times a round; the object is made once.
QString stateKey(const links::PolledLink& link);
// The same with "published": the bytes that go out.
QByteArray statePayload(QJsonObject state, SystemTime published);
// The alarm topic: "port", "published" and "alarms", each alarm with its
// "kind", "state" and "value", in the words of the record.
QByteArray alarmPayload(const links::PolledLink& link, const QString& port, SystemTime published);

// The online topic: "state" "online" or "offline" and the publishing
// "client", so that a second publisher under the same name can be told which
// one holds it.
QByteArray onlinePayload(bool online, const std::string& client);
struct OnlineState {
    bool online = false;
    QString client;
};
std::optional<OnlineState> readOnline(const QByteArray& payload);

// The state and alarm payloads read into a viewer's row; false for bytes
// that are no such payload (the row is left as it was).
bool readState(const QByteArray& payload, links::RemoteRow& row);
bool readAlarms(const QByteArray& payload, links::RemoteRow& row);

// A remote row as `xpdrctl watch --mqtt-subscribe` prints it: the state's
// object with "publisher", "alarms", and "clockDifferenceMs" where measured.
QJsonObject rowJson(const links::RemoteRow& row);

} // namespace mqtt
