#pragma once

#include "framework/Timer.h"
#include "session/MonitorLines.h"
#include "session/TrafficListener.h"

#include <QString>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>

namespace session {

// The traffic monitor's lines: the last MaxLines events on the line, of which
// the rows are those that pass the filter (a direction, a frame letter). A row
// has four columns: the time local to the millisecond, the direction, the frame
// as transponder::frameText() shows it, and what it means; as one line of text
// it reads "time  dir  frame  description", the columns padded to line up.
//
// Lines are taken in as they come, and handed to the views a few times a
// second (publish()), so that a busy line costs a view one update per batch,
// not one per frame: each update of a long list lays out all of its rows.
//
// Pausing freezes the rows; events are still taken in (and still count against
// the cap), and show when the view resumes. Only the bytes are kept per line;
// the text is made for the rows a view asks for.
class TrafficModel : public MonitorLines, public TrafficListener {
    Q_OBJECT
public:
    static constexpr std::size_t MaxLines = 100'000;
    static constexpr unsigned PublishMs = 200;
    using Describe = std::function<std::string(const TrafficEvent& event)>;

    explicit TrafficModel(Describe describe, QObject* parent = nullptr,
                          fw::TimerScheduler& scheduler = fw::defaultScheduler());

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    void traffic(const TrafficEvent& event) override;
    // Forgets the lines beyond the cap and, unless paused, shows the lines taken
    // in since the last time as rows. Runs PublishMs after a line comes in.
    void publish();

    // Nothing: every direction, or every letter. A letter filter hides noise,
    // even noise that holds a cut-off frame of that letter: it is no frame.
    void setFilter(std::optional<TrafficDirection> direction, std::optional<char> letter) override;
    void setPaused(bool paused);
    bool paused() const { return paused_; }
    // Forgets every line.
    void clear();

    // Lines kept, shown or not; at most MaxLines once published.
    std::size_t lineCount() const { return lines_.size(); }
    // The text of a row, as shown.
    QString rowText(int row) const override;
    // Marks the latest received line that holds `frame` as the one that raised
    // an alarm: its description ends in "· ALARM: " + `alarm`.
    // Only the newest lines are looked at: the frame was decoded just now.
    void markAlarm(const std::string& frame, const QString& alarm);

private:
    struct Line {
        std::int64_t ms; // wall time, since the epoch
        TrafficDirection direction;
        std::string bytes;
    };

    bool passes(const Line& line) const;
    QString columnText(const Line& line, int column) const;
    const Line& line(std::uint64_t number) const { return lines_[static_cast<std::size_t>(number - first_)]; }
    void showFrom(std::uint64_t number);
    void forgetBeyondTheCap();

    Describe describe_;
    fw::TTimer* publishTimer_;
    // Lines are numbered as they come; lines_ holds first_ .. first_ + size - 1.
    std::deque<Line> lines_;
    std::uint64_t first_ = 0;
    // Lines from this number on have not been looked at for the rows (paused).
    std::uint64_t unseen_ = 0;
    std::deque<std::uint64_t> rows_;
    // The few lines that raised an alarm, by number.
    std::map<std::uint64_t, QString> alarms_;
    std::optional<TrafficDirection> direction_;
    std::optional<char> letter_;
    bool paused_ = false;
};

// The letter of a frame: the byte after its first start character, if any.
std::optional<char> frameLetter(const std::string& bytes);

} // namespace session
