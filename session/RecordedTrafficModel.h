#pragma once

#include "session/MonitorLines.h"

#include <QString>
#include <array>
#include <optional>
#include <unordered_map>
#include <vector>

namespace session {

class RecordingIndex;
struct RecordedLine;

// The traffic monitor's rows of a recording: the lines of one session of a
// RecordingIndex, read from the file as a view asks for them. Frames show as
// the live monitor shows them; a start object, a sequence and an alarm line
// show as such ("start", "seq", "alarm" in the direction column, their content
// in words); a line that does not read shows as "bad" with the reason and its
// text. Rows come as the index grows.
//
// The filter works on what the index keeps of each line, without reading the
// lines: a direction or a letter shows only the frames that match.
class RecordedTrafficModel : public MonitorLines {
    Q_OBJECT
public:
    // Lines read and decoded are kept for this many rows at most.
    static constexpr std::size_t CachedRows = 512;

    explicit RecordedTrafficModel(const RecordingIndex& index, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QString rowText(int row) const override;
    void setFilter(std::optional<TrafficDirection> direction, std::optional<char> letter) override;

    // Shows the lines [first, end) (a session); an `end` past the lines indexed
    // so far follows the index as it grows.
    void setRange(quint64 first, quint64 end);
    // Ends the range at `end` (a session found to end there), keeping the rows
    // shown when none of them lies beyond it.
    void setEnd(quint64 end);
    // The line of a row, and the first row whose line is `line` or after it
    // (rowCount() when none is).
    quint64 lineOf(int row) const;
    int rowAtOrAfter(quint64 line) const;

    // A line's four columns as shown.
    static std::array<QString, Columns> columns(const RecordedLine& line, const QByteArray& bytes);

private:
    void grew(quint64 from, quint64 to);
    bool passes(quint64 line) const;
    bool filtered() const { return direction_ || letter_; }
    const std::array<QString, Columns>& shown(int row) const;
    void rebuild();

    const RecordingIndex& index_;
    quint64 first_ = 0;
    quint64 end_ = 0; // of the range asked for
    quint64 shownEnd_ = 0; // the lines looked at so far: first_ .. shownEnd_
    // The lines that pass a filter; without one, row r is line first_ + r.
    std::vector<quint64> rows_;
    std::optional<TrafficDirection> direction_;
    std::optional<char> letter_;
    mutable std::unordered_map<quint64, std::array<QString, Columns>> cache_;
};

} // namespace session
