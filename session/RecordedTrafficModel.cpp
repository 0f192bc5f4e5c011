#include "session/RecordedTrafficModel.h"

#include "session/RecordingIndex.h"
#include "transponder/FrameText.h"
#include "transponder/StatusItem.h"

#include <QDateTime>
#include <QJsonArray>

#include <algorithm>

namespace session {

namespace {

QString timeText(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("HH:mm:ss.zzz"));
}

QString letters(const QJsonValue& list)
{
    QStringList out;
    for (const QJsonValue& letter : list.toArray()) out << letter.toString();
    return out.join(QLatin1Char(' '));
}

QString sequenceText(const QJsonObject& o)
{
    QString text = QStringLiteral("sequence: %1 answered").arg(o.value(QLatin1StringView("answered")).toInt());
    if (const QString missing = letters(o.value(QLatin1StringView("unanswered"))); !missing.isEmpty())
        text += QStringLiteral(", unanswered %1").arg(missing);
    if (o.value(QLatin1StringView("interrupted")).toBool()) text += QStringLiteral(", interrupted");
    QStringList items;
    for (transponder::Item item : transponder::Items) {
        const std::string_view key = transponder::key(item);
        const QString value = o.value(QLatin1StringView(key.data(), static_cast<qsizetype>(key.size()))).toString();
        if (!value.isEmpty()) items << QStringLiteral("%1 %2").arg(QLatin1StringView(key.data(), key.size()), value);
    }
    return items.isEmpty() ? text : text + QStringLiteral("; ") + items.join(QStringLiteral(", "));
}

} // namespace

RecordedTrafficModel::RecordedTrafficModel(const RecordingIndex& index, QObject* parent)
    : MonitorLines(parent)
    , index_(index)
{
    connect(&index_, &RecordingIndex::grew, this, &RecordedTrafficModel::grew);
    setRange(0, std::numeric_limits<quint64>::max());
}

std::array<QString, MonitorLines::Columns> RecordedTrafficModel::columns(const RecordedLine& line,
                                                                           const QByteArray& bytes)
{
    const QJsonObject& o = line.object;
    switch (line.kind) {
    case RecordedLine::Kind::Frame:
        return {timeText(line.timeMs), QLatin1String(directionName(line.direction)),
                transponder::frameText(line.payload.toStdString()), line.description};
    case RecordedLine::Kind::Start: {
        const QString port = o.value(QLatin1StringView("port")).toString();
        return {timeText(line.timeMs), QStringLiteral("start"), QString(),
                QStringLiteral("session start: %1, %2 %3")
                    .arg(port.isEmpty() ? QStringLiteral("no port open") : QStringLiteral("port ") + port,
                         o.value(QLatin1StringView("program")).toString(),
                         o.value(QLatin1StringView("version")).toString())};
    }
    case RecordedLine::Kind::Sequence:
        return {timeText(line.timeMs), QStringLiteral("seq"), QString(), sequenceText(o)};
    case RecordedLine::Kind::Alarm:
        return {timeText(line.timeMs), QStringLiteral("alarm"), QString(),
                QStringLiteral("ALARM: %1 %2, %3")
                    .arg(o.value(QLatin1StringView("alarm")).toString(), o.value(QLatin1StringView("value")).toString(),
                         o.value(QLatin1StringView("state")).toString())};
    case RecordedLine::Kind::Close: {
        const QJsonObject close = o.value(QLatin1StringView("close")).toObject();
        return {timeText(line.timeMs), QStringLiteral("close"), QString(),
                QStringLiteral("session end: %1 lines, chain head %2")
                    .arg(close.value(QLatin1StringView("lines")).toInteger())
                    .arg(close.value(QLatin1StringView("head")).toString())};
    }
    case RecordedLine::Kind::Unparsed: break;
    }
    // Shown as the file has it, every byte one character, cut to a length a
    // row can show.
    constexpr qsizetype Shown = 200;
    QString text = QString::fromLatin1(bytes.left(Shown));
    if (bytes.size() > Shown) text += QStringLiteral("…");
    return {QString(), QStringLiteral("bad"), QString(), QStringLiteral("not read (%1): %2").arg(line.reason, text)};
}

int RecordedTrafficModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid()) return 0;
    return static_cast<int>(filtered() ? rows_.size() : shownEnd_ - first_);
}

quint64 RecordedTrafficModel::lineOf(int row) const
{
    return filtered() ? rows_[static_cast<std::size_t>(row)] : first_ + static_cast<quint64>(row);
}

int RecordedTrafficModel::rowAtOrAfter(quint64 line) const
{
    if (!filtered()) return static_cast<int>(std::clamp(line, first_, shownEnd_) - first_);
    return static_cast<int>(std::lower_bound(rows_.begin(), rows_.end(), line) - rows_.begin());
}

const std::array<QString, MonitorLines::Columns>& RecordedTrafficModel::shown(int row) const
{
    const quint64 line = lineOf(row);
    if (const auto found = cache_.find(line); found != cache_.end()) return found->second;
    // Rows are wanted a screen at a time: the cache holds a few screens.
    if (cache_.size() >= CachedRows) cache_.clear();
    const QByteArray bytes = index_.bytes(line);
    const bool last = index_.cutLastLine() && line + 1 == index_.lineCount();
    return cache_.emplace(line, columns(parseRecordedLine(bytes, last), bytes)).first->second;
}

QVariant RecordedTrafficModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || role != Qt::DisplayRole) return {};
    return shown(index.row())[static_cast<std::size_t>(index.column())];
}

QString RecordedTrafficModel::rowText(int row) const
{
    const auto& c = shown(row);
    return lineText(c[Time], c[Direction], c[Frame], c[Description]);
}

bool RecordedTrafficModel::passes(quint64 line) const
{
    const RecordingIndex::Tag tag = index_.tag(line);
    if (!filtered()) return true;
    if (tag.kind != RecordedLine::Kind::Frame) return false;
    if (direction_ && tag.direction != *direction_) return false;
    if (letter_ && (tag.direction == TrafficDirection::Noise || tag.letter != *letter_)) return false;
    return true;
}

void RecordedTrafficModel::grew(quint64 from, quint64 to)
{
    const quint64 start = std::max(from, shownEnd_);
    const quint64 stop = std::min(to, end_);
    if (start >= stop) return;
    if (!filtered()) {
        beginInsertRows({}, rowCount(), rowCount() + static_cast<int>(stop - start) - 1);
        shownEnd_ = stop;
        endInsertRows();
        return;
    }
    std::vector<quint64> passing;
    for (quint64 n = start; n < stop; ++n)
        if (passes(n)) passing.push_back(n);
    shownEnd_ = stop;
    if (passing.empty()) return;
    beginInsertRows({}, rowCount(), rowCount() + static_cast<int>(passing.size()) - 1);
    rows_.insert(rows_.end(), passing.begin(), passing.end());
    endInsertRows();
}

void RecordedTrafficModel::rebuild()
{
    rows_.clear();
    shownEnd_ = std::min(end_, index_.lineCount());
    if (shownEnd_ < first_) shownEnd_ = first_;
    if (filtered())
        for (quint64 n = first_; n < shownEnd_; ++n)
            if (passes(n)) rows_.push_back(n);
}

void RecordedTrafficModel::setFilter(std::optional<TrafficDirection> direction, std::optional<char> letter)
{
    beginResetModel();
    direction_ = direction;
    letter_ = letter;
    rebuild();
    endResetModel();
}

void RecordedTrafficModel::setRange(quint64 first, quint64 end)
{
    beginResetModel();
    first_ = first;
    end_ = end;
    rebuild();
    cache_.clear();
    endResetModel();
}

void RecordedTrafficModel::setEnd(quint64 end)
{
    if (shownEnd_ > end) return setRange(first_, end);
    end_ = end;
}

} // namespace session
