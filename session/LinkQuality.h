#pragma once

#include "framework/Timer.h"
#include "session/TrafficListener.h"

#include <QObject>
#include <QString>
#include <chrono>
#include <cstdint>
#include <optional>

namespace session {

// The link quality as the status bar shows it: how many of its queries the last
// sequence got answered, and how long ago the transponder was last heard from
// ("14/14 answered · last reply 3 s ago").
//
// The age counts up once a second for its first minute; after that the text
// gives the reply's clock time instead and nothing ticks, so that an idle panel
// is not woken for it. Once the operator has closed the link, the text says
// when ("closed 12:03:44") in place of the age, which no longer counts.
class LinkQuality : public QObject, public TrafficListener {
    Q_OBJECT
public:
    static constexpr unsigned TickMs = 1000;
    static constexpr std::uint64_t CountedMs = 60'000;

    explicit LinkQuality(QObject* parent = nullptr, fw::TimerScheduler& scheduler = fw::defaultScheduler());

    void traffic(const TrafficEvent& event) override;
    // `asked` counts the queries that went out; a sequence that sent none
    // leaves the figure as it was.
    void sequenceEnded(int answered, int asked);
    void closed(std::chrono::system_clock::time_point at = std::chrono::system_clock::now());
    void opened();

    QString text() const;

signals:
    void textChanged(const QString& text);

private:
    void tick();

    fw::TimerScheduler& scheduler_;
    fw::TTimer* ticker_;
    std::optional<int> answered_;
    int asked_ = 0;
    std::optional<std::uint64_t> heardAtMs_; // the scheduler's age clock
    std::chrono::system_clock::time_point heardAt_;
    std::optional<std::chrono::system_clock::time_point> closedAt_;
    QString text_;
};

} // namespace session
