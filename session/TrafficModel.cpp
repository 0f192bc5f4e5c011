#include "session/TrafficModel.h"

#include "transponder/FrameText.h"

#include <QDateTime>

#include <algorithm>

namespace session {

std::optional<char> frameLetter(const std::string& bytes)
{
    const std::size_t stx = bytes.find('\x02');
    if (stx == std::string::npos || stx + 1 >= bytes.size()) return std::nullopt;
    return bytes[stx + 1];
}

TrafficModel::TrafficModel(Describe describe, QObject* parent, fw::TimerScheduler& scheduler)
    : MonitorLines(parent)
    , describe_(std::move(describe))
    , publishTimer_(new fw::TTimer(this, scheduler))
{
    publishTimer_->setInterval(PublishMs);
    publishTimer_->setOnTimer([this](QObject*) { publish(); });
}

int TrafficModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

QVariant TrafficModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const std::uint64_t number = rows_[static_cast<std::size_t>(index.row())];
    if (role != Qt::DisplayRole) return {};
    const QString text = columnText(line(number), index.column());
    const auto alarm = alarms_.find(number);
    if (index.column() != Description || alarm == alarms_.end()) return text;
    return text + QStringLiteral(" \u00b7 ALARM: ") + alarm->second;
}

QString TrafficModel::columnText(const Line& l, int column) const
{
    switch (column) {
    case Time: return QDateTime::fromMSecsSinceEpoch(l.ms).toString(QStringLiteral("HH:mm:ss.zzz"));
    case Direction: return QLatin1String(directionName(l.direction));
    case Frame: return transponder::frameText(l.bytes);
    case Description: {
        const TrafficEvent event{std::chrono::system_clock::time_point(std::chrono::milliseconds(l.ms)),
                                 l.direction, l.bytes};
        return QString::fromStdString(describe_(event));
    }
    default: return {};
    }
}

void TrafficModel::markAlarm(const std::string& frame, const QString& alarm)
{
    constexpr std::size_t Newest = 64;
    const std::uint64_t end = first_ + lines_.size();
    for (std::uint64_t n = end; n > first_ && end - n < Newest; --n) {
        const Line& l = line(n - 1);
        if (l.direction != TrafficDirection::Received || l.bytes != frame) continue;
        alarms_[n - 1] = alarm;
        const auto row = std::lower_bound(rows_.begin(), rows_.end(), n - 1);
        if (row != rows_.end() && *row == n - 1) {
            const int r = static_cast<int>(row - rows_.begin());
            emit dataChanged(index(r, 0), index(r, Columns - 1));
        }
        return;
    }
}

QString TrafficModel::rowText(int row) const
{
    const Line& l = line(rows_[static_cast<std::size_t>(row)]);
    return lineText(columnText(l, Time), columnText(l, Direction), columnText(l, Frame),
                    data(index(row, Description), Qt::DisplayRole).toString());
}

bool TrafficModel::passes(const Line& l) const
{
    if (direction_ && l.direction != *direction_) return false;
    if (letter_ && (l.direction == TrafficDirection::Noise || frameLetter(l.bytes) != letter_)) return false;
    return true;
}

void TrafficModel::traffic(const TrafficEvent& event)
{
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(event.time.time_since_epoch()).count();
    lines_.push_back({ms, event.direction, event.bytes});
    // A running count goes on: the batch goes out PublishMs after its first line.
    publishTimer_->setEnabled(true);
}

void TrafficModel::publish()
{
    publishTimer_->setEnabled(false);
    forgetBeyondTheCap();
    if (!paused_) showFrom(unseen_);
}

// Looks at the lines from `number` on and adds those that pass as rows.
void TrafficModel::showFrom(std::uint64_t number)
{
    const std::uint64_t end = first_ + lines_.size();
    std::vector<std::uint64_t> passing;
    for (std::uint64_t n = std::max(number, first_); n < end; ++n)
        if (passes(line(n))) passing.push_back(n);
    unseen_ = end;
    if (passing.empty()) return;
    const int at = static_cast<int>(rows_.size());
    beginInsertRows({}, at, at + static_cast<int>(passing.size()) - 1);
    rows_.insert(rows_.end(), passing.begin(), passing.end());
    endInsertRows();
}

void TrafficModel::forgetBeyondTheCap()
{
    if (lines_.size() <= MaxLines) return;
    const std::size_t excess = lines_.size() - MaxLines;
    const std::uint64_t kept = first_ + excess;
    // Rows are in line order: those of forgotten lines are the first ones.
    const auto end = std::lower_bound(rows_.begin(), rows_.end(), kept);
    if (end != rows_.begin()) {
        beginRemoveRows({}, 0, static_cast<int>(end - rows_.begin()) - 1);
        rows_.erase(rows_.begin(), end);
        endRemoveRows();
    }
    lines_.erase(lines_.begin(), lines_.begin() + static_cast<std::ptrdiff_t>(excess));
    first_ = kept;
    alarms_.erase(alarms_.begin(), alarms_.lower_bound(kept));
}

void TrafficModel::setFilter(std::optional<TrafficDirection> direction, std::optional<char> letter)
{
    beginResetModel();
    direction_ = direction;
    letter_ = letter;
    rows_.clear();
    // A paused view stays paused: the lines that came since wait for the resume.
    const std::uint64_t unseen = unseen_;
    for (std::uint64_t n = first_; n < unseen; ++n)
        if (passes(line(n))) rows_.push_back(n);
    endResetModel();
}

void TrafficModel::setPaused(bool paused)
{
    if (paused == paused_) return;
    paused_ = paused;
    if (!paused_) showFrom(unseen_);
}

void TrafficModel::clear()
{
    beginResetModel();
    first_ += lines_.size();
    unseen_ = first_;
    lines_.clear();
    rows_.clear();
    alarms_.clear();
    endResetModel();
}

} // namespace session
