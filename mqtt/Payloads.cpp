#include "mqtt/Payloads.h"

#include "links/PolledLink.h"
#include "transponder/AlarmModel.h"
#include "transponder/SequenceRecord.h"
#include "transponder/StatusItem.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>

namespace mqtt {

namespace {

using transponder::AlarmKind;
using transponder::AlarmModel;
using transponder::AlarmState;

QString isoTime(SystemTime time)
{
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
    return QDateTime::fromMSecsSinceEpoch(ms).toUTC().toString(Qt::ISODateWithMs);
}

std::optional<SystemTime> readTime(const QJsonValue& value)
{
    const QDateTime time = QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
    if (!time.isValid()) return std::nullopt;
    return SystemTime(std::chrono::milliseconds(time.toMSecsSinceEpoch()));
}

std::optional<QJsonObject> readObject(const QByteArray& payload)
{
    QJsonParseError error {};
    const QJsonDocument document = QJsonDocument::fromJson(payload, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) return std::nullopt;
    return document.object();
}

QString phaseWord(links::PolledLink::Phase phase)
{
    switch (phase) {
    case links::PolledLink::Phase::Closed: return QStringLiteral("closed");
    case links::PolledLink::Phase::Opening: return QStringLiteral("opening");
    case links::PolledLink::Phase::Polling: return QStringLiteral("polling");
    case links::PolledLink::Phase::Failed: return QStringLiteral("failed");
    }
    return {};
}

std::string latin1(const QJsonValue& value)
{
    return value.toString().toLatin1().toStdString();
}

std::string letters(const QJsonValue& value)
{
    std::string text;
    for (const QJsonValue& letter : value.toArray()) text += latin1(letter);
    return text;
}

// The sequence's record as sequenceJson wrote it; the lamps are not in it.
std::optional<transponder::SequenceRecord> readRecord(const QJsonObject& object)
{
    const auto time = readTime(object.value(QLatin1String("time")));
    if (!time) return std::nullopt;
    transponder::SequenceRecord record;
    record.time = *time;
    for (transponder::Item item : transponder::Items) {
        const std::string_view key = transponder::key(item);
        record.status.show(item, latin1(object.value(QLatin1String(key.data(), static_cast<qsizetype>(key.size())))));
    }
    const QJsonObject raw = object.value(QLatin1String("raw")).toObject();
    for (auto it = raw.begin(); it != raw.end(); ++it)
        if (it.key().size() == 1) record.raw[it.key().at(0).toLatin1()] = latin1(it.value());
    record.answered = object.value(QLatin1String("answered")).toInt();
    record.unanswered = letters(object.value(QLatin1String("unanswered")));
    record.interrupted = object.value(QLatin1String("interrupted")).toBool();
    record.asked = letters(object.value(QLatin1String("asked")));
    return record;
}

std::optional<AlarmKind> kindNamed(const QString& name)
{
    for (AlarmKind kind : transponder::AlarmKinds)
        if (name.toStdString() == AlarmModel::name(kind)) return kind;
    return std::nullopt;
}

std::optional<AlarmState> stateNamed(const QString& name)
{
    for (AlarmState state : {AlarmState::Normal, AlarmState::ActiveUnacknowledged, AlarmState::ActiveAcknowledged,
                             AlarmState::ReturnedUnacknowledged})
        if (name.toStdString() == AlarmModel::name(state)) return state;
    return std::nullopt;
}

QJsonArray alarmsJson(const std::vector<transponder::Alarm>& alarms)
{
    QJsonArray array;
    for (const transponder::Alarm& alarm : alarms) {
        array.append(QJsonObject{{QStringLiteral("kind"), QString::fromStdString(AlarmModel::name(alarm.kind))},
                                 {QStringLiteral("state"), QString::fromStdString(AlarmModel::name(alarm.state))},
                                 {QStringLiteral("value"), QString::fromLatin1(alarm.value)}});
    }
    return array;
}

} // namespace

QJsonObject linkState(const links::PolledLink& link, const QString& port)
{
    QJsonObject object = link.lastRecord() ? transponder::sequenceJson(*link.lastRecord()) : QJsonObject();
    object.insert(QStringLiteral("port"), port);
    object.insert(QStringLiteral("link"), link.failure().isEmpty() ? phaseWord(link.phase()) : link.failure());
    object.insert(QStringLiteral("answering"), link.answering());
    return object;
}

QString stateKey(const links::PolledLink& link)
{
    const qint64 time = link.lastRecord() ? std::chrono::duration_cast<std::chrono::milliseconds>(
                                                link.lastRecord()->time.time_since_epoch())
                                                .count()
                                          : -1;
    return (link.failure().isEmpty() ? phaseWord(link.phase()) : link.failure())
        + (link.answering() ? QStringLiteral(" answering ") : QStringLiteral(" silent ")) + QString::number(time);
}

QByteArray statePayload(QJsonObject state, SystemTime published)
{
    state.insert(QStringLiteral("published"), isoTime(published));
    return QJsonDocument(state).toJson(QJsonDocument::Compact);
}

QByteArray alarmPayload(const links::PolledLink& link, const QString& port, SystemTime published)
{
    std::vector<transponder::Alarm> alarms;
    for (AlarmKind kind : transponder::AlarmKinds) alarms.push_back(link.alarms().alarm(kind));
    const QJsonObject object{{QStringLiteral("port"), port},
                             {QStringLiteral("published"), isoTime(published)},
                             {QStringLiteral("alarms"), alarmsJson(alarms)}};
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QByteArray onlinePayload(bool online, const std::string& client)
{
    const QJsonObject object{{QStringLiteral("state"), online ? QStringLiteral("online") : QStringLiteral("offline")},
                             {QStringLiteral("client"), QString::fromStdString(client)}};
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<OnlineState> readOnline(const QByteArray& payload)
{
    const auto object = readObject(payload);
    if (!object) return std::nullopt;
    const QString state = object->value(QLatin1String("state")).toString();
    if (state != QLatin1String("online") && state != QLatin1String("offline")) return std::nullopt;
    return OnlineState{state == QLatin1String("online"), object->value(QLatin1String("client")).toString()};
}

bool readState(const QByteArray& payload, links::RemoteRow& row)
{
    const auto object = readObject(payload);
    if (!object) return false;
    const auto published = readTime(object->value(QLatin1String("published")));
    if (!published || !object->value(QLatin1String("link")).isString()) return false;
    row.published = *published;
    row.link = object->value(QLatin1String("link")).toString();
    row.answering = object->value(QLatin1String("answering")).toBool();
    if (auto record = readRecord(*object)) row.record = std::move(record);
    return true;
}

bool readAlarms(const QByteArray& payload, links::RemoteRow& row)
{
    const auto object = readObject(payload);
    if (!object || !object->value(QLatin1String("alarms")).isArray()) return false;
    std::vector<transponder::Alarm> alarms;
    for (const QJsonValue& value : object->value(QLatin1String("alarms")).toArray()) {
        const QJsonObject alarm = value.toObject();
        const auto kind = kindNamed(alarm.value(QLatin1String("kind")).toString());
        const auto state = stateNamed(alarm.value(QLatin1String("state")).toString());
        if (!kind || !state) continue; // a kind this viewer does not know yet
        alarms.push_back({*kind, *state, latin1(alarm.value(QLatin1String("value")))});
    }
    row.alarms = std::move(alarms);
    return true;
}

QJsonObject rowJson(const links::RemoteRow& row)
{
    QJsonObject object = row.record ? transponder::sequenceJson(*row.record) : QJsonObject();
    object.insert(QStringLiteral("publisher"), row.publisher);
    object.insert(QStringLiteral("port"), row.port);
    object.insert(QStringLiteral("link"), row.link);
    object.insert(QStringLiteral("answering"), row.answering);
    object.insert(QStringLiteral("published"), isoTime(row.published));
    object.insert(QStringLiteral("alarms"), alarmsJson(row.alarms));
    if (row.clockDifference) object.insert(QStringLiteral("clockDifferenceMs"), qint64(row.clockDifference->count()));
    return object;
}

} // namespace mqtt
