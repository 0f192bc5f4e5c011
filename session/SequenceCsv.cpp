#include "session/SequenceCsv.h"

#include "session/TrendSeries.h"

#include <QJsonArray>
#include "transponder/MessageSet.h"
#include "transponder/ReplyParser.h"
#include "transponder/StatusItem.h"

namespace session {

namespace {

// A spreadsheet takes a cell that begins with "=", "+", "-" or "@" for a
// formula, and some do so after leading blanks too or take a tab, a carriage
// return or a line feed in front for one; a text from the line that does so
// is written with "'" before it, which a spreadsheet shows as text. A plain
// number, negative ones too, is left as it is.
bool readsAsFormula(const QByteArray& text)
{
    if (text.isEmpty()) return false;
    if (QByteArrayView("\t\r\n").contains(text.front())) return true;
    qsizetype first = 0;
    while (first < text.size() && text[first] == ' ') ++first;
    if (first == text.size() || !QByteArrayView("=+-@").contains(text[first])) return false;
    return first > 0 || !trendNumber(std::string_view(text.constData(), static_cast<std::size_t>(text.size())));
}

void appendField(QByteArray& row, const QString& text)
{
    QByteArray bytes = text.toUtf8();
    if (readsAsFormula(bytes)) bytes.prepend('\'');
    if (!bytes.contains(',') && !bytes.contains('"') && !bytes.contains('\n') && !bytes.contains('\r')) {
        row += bytes;
        return;
    }
    row += '"';
    for (char c : bytes) {
        if (c == '"') row += '"';
        row += c;
    }
    row += '"';
}

} // namespace

QByteArray SequenceCsv::header()
{
    QByteArray line = "time";
    for (transponder::Item item : transponder::Items) {
        line += ',';
        line += QByteArrayView(transponder::key(item).data(), static_cast<qsizetype>(transponder::key(item).size()));
    }
    line += ",ping round trip (ms),answered,unanswered\n";
    return line;
}

void SequenceCsv::frame(TrafficDirection direction, std::string_view bytes, double ms)
{
    if (direction == TrafficDirection::Sent) {
        if (bytes == transponder::MessageSet::FirePing()) pingSentMs_ = ms;
        return;
    }
    if (direction != TrafficDirection::Received || !pingSentMs_) return;
    const auto reply = transponder::parseReply(bytes);
    if (reply && reply->lamp && reply->lamp->lamp == transponder::Lamp::Ping && reply->lamp->lit) {
        // A recorded wall clock set back meanwhile gives no round trip at all.
        if (ms >= *pingSentMs_) roundTripMs_ = ms - *pingSentMs_;
        pingSentMs_.reset();
    }
}

bool SequenceCsv::linkLoss(const QJsonObject& alarm)
{
    return alarm.value(QLatin1StringView("alarm")).toString() == QLatin1StringView("link-lost") &&
           alarm.value(QLatin1StringView("state")).toString().startsWith(QLatin1StringView("active"));
}

void SequenceCsv::alarm(const QJsonObject& alarm)
{
    if (alarm.value(QLatin1StringView("alarm")).toString() != QLatin1StringView("link-lost")) return;
    linkLost_ = linkLoss(alarm);
    lossInRow_ = lossInRow_ || linkLost_;
}

QByteArray SequenceCsv::row(const QJsonObject& sequence)
{
    QByteArray line;
    line.reserve(128);
    appendField(line, sequence.value(QLatin1StringView("time")).toString());
    for (transponder::Item item : transponder::Items) {
        line += ',';
        const std::string_view key = transponder::key(item);
        appendField(line, sequence.value(QLatin1StringView(key.data(), static_cast<qsizetype>(key.size()))).toString());
    }
    line += ',';
    if (roundTripMs_) line += QByteArray::number(*roundTripMs_, 'f', 0);
    roundTripMs_.reset();
    line += ',';
    line += QByteArray::number(sequence.value(QLatin1StringView("answered")).toInt());
    line += ',';
    if (lossInRow_ || linkLost_)
        line += "link lost";
    else if (sequence.value(QLatin1StringView("interrupted")).toBool())
        line += "interrupted";
    else
        line += QByteArray::number(sequence.value(QLatin1StringView("unanswered")).toArray().size());
    lossInRow_ = false;
    line += '\n';
    return line;
}

} // namespace session
