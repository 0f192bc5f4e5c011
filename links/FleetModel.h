#pragma once

#include "framework/Timer.h"
#include "links/PolledLink.h"
#include "links/RemoteRow.h"
#include "transponder/AlarmModel.h"
#include "transponder/StatusModel.h"

#include <QAbstractTableModel>
#include <QList>
#include <QSet>
#include <memory>
#include <optional>
#include <vector>

namespace links {

// The transponders of the fleet, one row each: the port and where it leads,
// the status items, the age of the last reply, the link quality and the most
// severe alarm. Each row's link polls, fails and reconnects on its own; a row
// tells of its failure in the port's cell, its diagnosis in the tooltip.
//
// Only rows whose shown texts changed are told to the view: a link's round
// and the second's tick of the ages compare what each cell shows.
//
// A row handed to the panel has its port closed here, and shows the panel's
// own values until it comes back.
//
// Remote rows, another machine's fleet as its broker tells it, come after the
// local ones, marked "remote · PUBLISHER". They are read only: no hand-over,
// no command; their alarms follow the publisher's and raise the same
// notification, but are acknowledged here only. Their ages are read from the
// publication time against this machine's wall clock when they come, and go
// on with the age clock from there.
//
// A row tells only what is so: a link that is not answering (lost, held up,
// or open with nothing heard yet) shows its last values greyed, as the
// transponder's last known state, not its present one; failing rows and rows
// with an alarm are coloured.
class FleetModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Port, Mode, Code, Altitude, Volts, Replies, Firmware, LastReply, Quality, Alarm, ColumnCount };

    // What the panel shows of the port it holds.
    struct PanelValues {
        transponder::StatusModel status;
        std::optional<std::uint64_t> lastReplyMs; // the scheduler's clock
        QString quality;
        std::optional<transponder::Alarm> alarm;  // the most severe, if any
    };

    static constexpr unsigned TickMs = 1000;

    explicit FleetModel(QObject* parent = nullptr, fw::TimerScheduler& scheduler = fw::defaultScheduler());
    ~FleetModel() override;

    // Adds a row for the port and starts polling it; false when it is listed already.
    bool addPort(sPorts port);
    void removeRow(int row);
    QList<int> ports() const;
    void setInterval(unsigned ms);
    unsigned interval() const { return interval_; }
    // Off: every row's port is closed (those the panel holds stay the
    // panel's); on: they are polled again.
    void setPolling(bool on);
    const PolledLink& link(int row) const { return *rows_[static_cast<std::size_t>(row)].link; }
    int rowOf(sPorts port) const;

    // A remote fleet's row, added or brought up to date.
    void setRemoteRow(const RemoteRow& row);
    void removeRemoteRow(const QString& publisher, const QString& port);
    // Offline is the publisher's last will or its clean stop: its rows stay,
    // greyed, as its last word.
    void setPublisherOnline(const QString& publisher, bool online);
    // Every row of the publisher goes: its remote fleet is no longer watched.
    void removePublisher(const QString& publisher);
    bool remote(int row) const { return row >= localRowCount() && row < rowCount(); }
    const RemoteRow& remoteRow(int row) const { return remoteAt(row).row; }
    int localRowCount() const { return static_cast<int>(rows_.size()); }

    // The panel takes the row's port: the fleet closes it first. A remote
    // row is refused: its port is held on another machine.
    void handToPanel(int row);
    // The panel let go of its port: the fleet polls it again.
    void returnFromPanel(sPorts port);
    bool heldByPanel(int row) const { return row < localRowCount() && rows_[static_cast<std::size_t>(row)].panel; }
    void setPanelValues(const PanelValues& values);
    // The operator has seen the alarm the row shows (of a remote row too,
    // here only).
    void acknowledge(int row);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // The texts a cell shows and its tooltip, for views and tests alike.
    QString text(int row, Column column) const;
    QString toolTip(int row, Column column) const;

signals:
    // A link raised the emergency-code alarm.
    void emergency(sPorts port, const QString& code, const QString& meaning);
    // A remote row raised it.
    void remoteEmergency(const QString& publisher, const QString& port, const QString& code, const QString& meaning);

private:
    struct Row {
        std::unique_ptr<PolledLink> link;
        bool panel = false;
        std::vector<QString> shown; // the texts the view was last told of
    };

    struct Remote {
        RemoteRow row;
        // The publication's age when it came, by the two machines' wall
        // clocks, and the age clock then.
        std::optional<std::uint64_t> ageAtArrivalMs;
        std::uint64_t arrivedMs = 0;
        std::unique_ptr<transponder::AlarmModel> alarms;
        std::vector<QString> shown;
    };

    enum class RowState { Normal, Failing, Alarm };
    RowState rowState(int row) const;
    // Whether the row's values are the transponder's present state.
    bool current(int row) const;
    std::vector<QString>& shown(int row);
    void refresh(int row);
    void tick();
    QString age(std::optional<std::uint64_t> lastReplyMs) const;
    int remoteIndex(const QString& publisher, const QString& port) const;
    const Remote& remoteAt(int row) const { return remote_[static_cast<std::size_t>(row - localRowCount())]; }
    QString remoteText(const Remote& remote, Column column) const;
    QString remoteToolTip(const Remote& remote, Column column) const;
    QString remoteFailure(const Remote& remote) const;
    std::optional<std::uint64_t> remoteAgeMs(const Remote& remote) const;
    void removeRemote(int index);

    fw::TimerScheduler& scheduler_;
    fw::TTimer ticker_;
    std::vector<Row> rows_;
    std::vector<Remote> remote_;
    QSet<QString> gone_; // publishers whose last will came
    unsigned interval_ = PolledLink::DefaultIntervalMs;
    bool polling_ = true;
    std::optional<PanelValues> panel_;
};

} // namespace links
