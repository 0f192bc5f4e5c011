#include "session/RecordedLine.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonParseError>

namespace session {

namespace {

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
qint64 daysFromCivil(qint64 y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const qint64 era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<qint64>(doe) - 719468;
}

bool digits(QStringView text, qsizetype at, qsizetype count, unsigned& value)
{
    value = 0;
    for (qsizetype i = at; i < at + count; ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9') return false;
        value = value * 10 + (c - u'0');
    }
    return true;
}

// The recorder's own form, read without the cost of a QDateTime.
bool parseRecorderForm(QStringView t, qint64& ms)
{
    if (t.size() != 24 || t[4] != u'-' || t[7] != u'-' || t[10] != u'T' || t[13] != u':' || t[16] != u':' ||
        t[19] != u'.' || t[23] != u'Z')
        return false;
    unsigned y, mo, d, h, mi, s, milli;
    if (!digits(t, 0, 4, y) || !digits(t, 5, 2, mo) || !digits(t, 8, 2, d) || !digits(t, 11, 2, h) ||
        !digits(t, 14, 2, mi) || !digits(t, 17, 2, s) || !digits(t, 20, 3, milli))
        return false;
    if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 60) return false;
    ms = ((daysFromCivil(y, mo, d) * 24 + h) * 60 + mi) * 60'000 + qint64(s) * 1000 + milli;
    return true;
}

bool latin1Bytes(const QString& text, QByteArray& bytes)
{
    for (QChar c : text)
        if (c.unicode() > 0xFF) return false;
    bytes = text.toLatin1();
    return true;
}

} // namespace

RecordedLine RecordedLine::unreadable(QString reason)
{
    RecordedLine line;
    line.reason = std::move(reason);
    return line;
}

bool parseRecordTime(QStringView text, qint64& ms)
{
    if (parseRecorderForm(text, ms)) return true;
    const QDateTime time = QDateTime::fromString(text.toString(), Qt::ISODateWithMs);
    if (!time.isValid()) return false;
    ms = time.toMSecsSinceEpoch();
    return true;
}

RecordedLine parseRecordedLine(QByteArrayView line, bool lastLineWithoutEnd)
{
    // A line end written on Windows leaves its carriage return.
    if (line.endsWith('\r')) line.chop(1);
    if (line.size() > MaxRecordedLineBytes) return RecordedLine::unreadable(QStringLiteral("line too long"));
    // A run of empty lines (a disk's zeroed tail, a stray pipe) costs no parser.
    if (line.isEmpty())
        return RecordedLine::unreadable(lastLineWithoutEnd ? QStringLiteral("partial last line") : QStringLiteral("bad JSON"));
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(line.toByteArray(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return RecordedLine::unreadable(lastLineWithoutEnd ? QStringLiteral("partial last line") : QStringLiteral("bad JSON"));

    RecordedLine result;
    result.object = document.object();
    const QJsonObject& object = result.object;
    if (!parseRecordTime(object.value(QLatin1StringView("time")).toString(), result.timeMs))
        return RecordedLine::unreadable(QStringLiteral("no time"));
    if (object.contains(QLatin1StringView("dir"))) {
        const QString dir = object.value(QLatin1StringView("dir")).toString();
        if (dir == QLatin1StringView("out"))
            result.direction = TrafficDirection::Sent;
        else if (dir == QLatin1StringView("in"))
            result.direction = TrafficDirection::Received;
        else if (dir == QLatin1StringView("noise"))
            result.direction = TrafficDirection::Noise;
        else
            return RecordedLine::unreadable(QStringLiteral("unknown kind"));
        const QJsonValue payload = object.value(QLatin1StringView("payload"));
        if (!payload.isString() || !latin1Bytes(payload.toString(), result.payload))
            return RecordedLine::unreadable(QStringLiteral("payload not Latin-1"));
        result.description = object.value(QLatin1StringView("description")).toString();
        result.kind = RecordedLine::Kind::Frame;
        result.object = QJsonObject();
    } else if (object.contains(QLatin1StringView("answered"))) {
        result.kind = RecordedLine::Kind::Sequence;
    } else if (object.contains(QLatin1StringView("alarm"))) {
        result.kind = RecordedLine::Kind::Alarm;
    } else if (object.contains(QLatin1StringView("program"))) {
        result.kind = RecordedLine::Kind::Start;
    } else if (object.contains(QLatin1StringView("close"))) {
        result.kind = RecordedLine::Kind::Close;
    } else {
        return RecordedLine::unreadable(QStringLiteral("unknown kind"));
    }
    return result;
}

} // namespace session
