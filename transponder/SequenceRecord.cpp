#include "transponder/SequenceRecord.h"

#include <QDateTime>
#include <QJsonArray>

namespace transponder {

namespace {

// Texts from the line are 8-bit; every byte is one character.
QString latin1(std::string_view text)
{
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QJsonArray letters(const std::string& list)
{
    QJsonArray array;
    for (char letter : list) array.append(latin1(std::string_view(&letter, 1)));
    return array;
}

} // namespace

QJsonObject sequenceJson(const SequenceRecord& record)
{
    QJsonObject object;
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(record.time.time_since_epoch()).count();
    object.insert(QStringLiteral("time"),
                  QDateTime::fromMSecsSinceEpoch(ms).toUTC().toString(Qt::ISODateWithMs));
    for (Item item : Items) object.insert(latin1(key(item)), latin1(record.status.text(item)));

    QJsonObject raw;
    for (const auto& [letter, value] : record.raw) raw.insert(latin1(std::string_view(&letter, 1)), latin1(value));
    object.insert(QStringLiteral("raw"), raw);
    object.insert(QStringLiteral("answered"), record.answered);
    object.insert(QStringLiteral("unanswered"), letters(record.unanswered));
    if (record.interrupted) {
        object.insert(QStringLiteral("interrupted"), true);
        object.insert(QStringLiteral("asked"), letters(record.asked));
    }
    return object;
}

} // namespace transponder
