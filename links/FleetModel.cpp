#include "links/FleetModel.h"

#include <QColor>
#include <algorithm>
#include <chrono>

namespace links {

namespace {

using transponder::AlarmKind;
using transponder::AlarmModel;
using transponder::AlarmState;
using transponder::Item;

QString latin1(const std::string& text)
{
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QString alarmWords(const transponder::Alarm& alarm)
{
    QString words;
    switch (alarm.kind) {
    case AlarmKind::EmergencyCode:
        words = QStringLiteral("Emergency code %1").arg(latin1(alarm.value));
        break;
    case AlarmKind::LinkLost: words = QStringLiteral("Link lost"); break;
    case AlarmKind::SupplyVoltage:
        words = QStringLiteral("Supply voltage %1 V out of limits").arg(latin1(alarm.value));
        break;
    }
    if (alarm.state == AlarmState::ReturnedUnacknowledged) words += QStringLiteral(" (returned to normal)");
    return words;
}

std::optional<Item> itemOf(FleetModel::Column column)
{
    switch (column) {
    case FleetModel::Mode: return Item::Mode;
    case FleetModel::Code: return Item::Code;
    case FleetModel::Altitude: return Item::Altitude;
    case FleetModel::Volts: return Item::Volts;
    case FleetModel::Replies: return Item::Replies;
    case FleetModel::Firmware: return Item::Version;
    default: return std::nullopt;
    }
}

QString ageWords(std::uint64_t ms)
{
    const std::uint64_t seconds = ms / 1000;
    if (seconds < 60) return QStringLiteral("%1 s").arg(seconds);
    if (seconds < 3600) return QStringLiteral("%1 min").arg(seconds / 60);
    return QStringLiteral("%1 h").arg(seconds / 3600);
}

// Beyond this, ages read from a publisher's times are not to be trusted.
constexpr std::chrono::milliseconds ClockTolerance{2000};

// How far apart this machine's clock and the publisher's are, where that matters.
QString clocksApart(const RemoteRow& row)
{
    if (!row.clockDifference || std::chrono::abs(*row.clockDifference) <= ClockTolerance) return {};
    return ageWords(static_cast<std::uint64_t>(std::chrono::abs(*row.clockDifference).count()));
}

} // namespace

FleetModel::FleetModel(QObject* parent, fw::TimerScheduler& scheduler)
    : QAbstractTableModel(parent)
    , scheduler_(scheduler)
    , ticker_(nullptr, scheduler)
{
    ticker_.setInterval(TickMs);
    ticker_.setOnTimer([this](QObject*) { tick(); });
}

FleetModel::~FleetModel() = default;

bool FleetModel::addPort(sPorts port)
{
    if (rowOf(port) >= 0) return false;
    const int row = static_cast<int>(rows_.size());
    beginInsertRows({}, row, row);
    Row added;
    added.link = std::make_unique<PolledLink>(port, nullptr, scheduler_);
    added.link->setInterval(interval_);
    PolledLink* link = added.link.get();
    connect(link, &PolledLink::changed, this, [this, link] {
        for (int r = 0; r < localRowCount(); ++r)
            if (rows_[static_cast<std::size_t>(r)].link.get() == link) refresh(r);
    });
    connect(link, &PolledLink::alarmChanged, this, [this, link](const transponder::Alarm& alarm) {
        if (alarm.kind != AlarmKind::EmergencyCode || alarm.state != AlarmState::ActiveUnacknowledged) return;
        emit emergency(link->port(), latin1(alarm.value),
                       latin1(AlarmModel::emergencyMeaning(alarm.value).value_or(std::string())));
    });
    rows_.push_back(std::move(added));
    endInsertRows();
    if (polling_) link->start();
    ticker_.setEnabled(true);
    return true;
}

void FleetModel::removeRow(int row)
{
    // Remote rows come and go with their publisher.
    if (row < 0 || row >= localRowCount()) return;
    beginRemoveRows({}, row, row);
    rows_.erase(rows_.begin() + row);
    endRemoveRows();
    ticker_.setEnabled(rowCount() > 0);
}

void FleetModel::setRemoteRow(const RemoteRow& row)
{
    int index = remoteIndex(row.publisher, row.port);
    if (index < 0) {
        index = static_cast<int>(remote_.size());
        const int at = localRowCount() + index;
        beginInsertRows({}, at, at);
        Remote added;
        const QString publisher = row.publisher;
        const QString port = row.port;
        added.alarms = std::make_unique<AlarmModel>([this, publisher, port](const transponder::Alarm& alarm) {
            if (alarm.kind != AlarmKind::EmergencyCode || alarm.state != AlarmState::ActiveUnacknowledged) return;
            emit remoteEmergency(publisher, port, latin1(alarm.value),
                                 latin1(AlarmModel::emergencyMeaning(alarm.value).value_or(std::string())));
        });
        remote_.push_back(std::move(added));
        endInsertRows();
        ticker_.setEnabled(true);
    }
    Remote& remote = remote_[static_cast<std::size_t>(index)];
    remote.row = row;
    remote.arrivedMs = scheduler_.ageClockMs();
    remote.ageAtArrivalMs.reset();
    if (row.published != std::chrono::system_clock::time_point{}) {
        using std::chrono::system_clock;
        const auto age = std::chrono::duration_cast<std::chrono::milliseconds>(system_clock::now() - row.published);
        // A publisher whose clock is ahead sent it "in the future": it is new.
        remote.ageAtArrivalMs = static_cast<std::uint64_t>(std::max<std::int64_t>(0, age.count()));
    }
    // Kinds the publisher left out are normal there.
    for (const AlarmKind kind : transponder::AlarmKinds) {
        const auto there = std::find_if(row.alarms.begin(), row.alarms.end(),
                                        [kind](const transponder::Alarm& alarm) { return alarm.kind == kind; });
        remote.alarms->follow(there != row.alarms.end() ? *there : transponder::Alarm{kind, AlarmState::Normal, {}});
    }
    refresh(localRowCount() + index);
}

void FleetModel::removeRemoteRow(const QString& publisher, const QString& port)
{
    const int index = remoteIndex(publisher, port);
    if (index >= 0) removeRemote(index);
}

void FleetModel::setPublisherOnline(const QString& publisher, bool online)
{
    if (online)
        gone_.remove(publisher);
    else
        gone_.insert(publisher);
    for (std::size_t i = 0; i < remote_.size(); ++i)
        if (remote_[i].row.publisher == publisher) refresh(localRowCount() + static_cast<int>(i));
}

void FleetModel::removePublisher(const QString& publisher)
{
    for (int i = static_cast<int>(remote_.size()) - 1; i >= 0; --i)
        if (remote_[static_cast<std::size_t>(i)].row.publisher == publisher) removeRemote(i);
    gone_.remove(publisher);
}

void FleetModel::removeRemote(int index)
{
    const int row = localRowCount() + index;
    beginRemoveRows({}, row, row);
    remote_.erase(remote_.begin() + index);
    endRemoveRows();
    ticker_.setEnabled(rowCount() > 0);
}

int FleetModel::remoteIndex(const QString& publisher, const QString& port) const
{
    for (std::size_t i = 0; i < remote_.size(); ++i)
        if (remote_[i].row.publisher == publisher && remote_[i].row.port == port) return static_cast<int>(i);
    return -1;
}

QList<int> FleetModel::ports() const
{
    QList<int> ports;
    for (const Row& row : rows_) ports << row.link->port();
    return ports;
}

void FleetModel::setInterval(unsigned ms)
{
    interval_ = ms;
    for (Row& row : rows_) row.link->setInterval(ms);
}

void FleetModel::setPolling(bool on)
{
    polling_ = on;
    for (Row& row : rows_) {
        if (row.panel) continue;
        if (on)
            row.link->start();
        else
            row.link->stop();
    }
    for (int r = 0; r < rowCount(); ++r) refresh(r);
}

int FleetModel::rowOf(sPorts port) const
{
    for (std::size_t r = 0; r < rows_.size(); ++r)
        if (rows_[r].link->port() == port) return static_cast<int>(r);
    return -1;
}

void FleetModel::handToPanel(int row)
{
    if (row < 0 || row >= localRowCount()) return;
    Row& held = rows_[static_cast<std::size_t>(row)];
    held.link->stop();
    held.panel = true;
    panel_.reset();
    refresh(row);
}

void FleetModel::returnFromPanel(sPorts port)
{
    const int row = rowOf(port);
    if (row < 0) return;
    Row& back = rows_[static_cast<std::size_t>(row)];
    if (!back.panel) return;
    back.panel = false;
    panel_.reset();
    if (polling_) back.link->start();
    refresh(row);
}

void FleetModel::setPanelValues(const PanelValues& values)
{
    panel_ = values;
    for (int r = 0; r < localRowCount(); ++r)
        if (rows_[static_cast<std::size_t>(r)].panel) refresh(r);
}

int FleetModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows_.size() + remote_.size());
}

int FleetModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant FleetModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const auto column = static_cast<Column>(index.column());
    switch (role) {
    case Qt::DisplayRole: return text(index.row(), column);
    case Qt::ToolTipRole: return toolTip(index.row(), column);
    case Qt::ForegroundRole:
        if (itemOf(column) && !current(index.row())) return QColor(Qt::gray);
        // A publisher gone: nothing of its rows is news any more.
        if (remote(index.row()) && gone_.contains(remoteAt(index.row()).row.publisher)) return QColor(Qt::gray);
        return {};
    case Qt::BackgroundRole:
        switch (rowState(index.row())) {
        case RowState::Alarm: return QColor(255, 205, 205);
        case RowState::Failing: return QColor(255, 236, 179);
        case RowState::Normal: return {};
        }
        return {};
    default: return {};
    }
}

FleetModel::RowState FleetModel::rowState(int r) const
{
    if (remote(r)) {
        const Remote& remote = remoteAt(r);
        if (remote.alarms->shown()) return RowState::Alarm;
        return remoteFailure(remote).isEmpty() ? RowState::Normal : RowState::Failing;
    }
    const Row& row = rows_[static_cast<std::size_t>(r)];
    if (row.panel) return panel_ && panel_->alarm ? RowState::Alarm : RowState::Normal;
    if (row.link->alarms().shown()) return RowState::Alarm;
    return row.link->failure().isEmpty() ? RowState::Normal : RowState::Failing;
}

bool FleetModel::current(int r) const
{
    if (remote(r)) {
        const Remote& remote = remoteAt(r);
        return remote.row.answering && !gone_.contains(remote.row.publisher);
    }
    const Row& row = rows_[static_cast<std::size_t>(r)];
    return row.panel || row.link->answering();
}

void FleetModel::acknowledge(int row)
{
    if (remote(row)) {
        // Here only: the publisher's operator acknowledges on their own.
        const Remote& remote = remoteAt(row);
        if (const transponder::Alarm* shown = remote.alarms->shown()) remote.alarms->acknowledge(shown->kind);
        refresh(row);
        return;
    }
    if (row < 0 || row >= rowCount() || rows_[static_cast<std::size_t>(row)].panel) return;
    rows_[static_cast<std::size_t>(row)].link->acknowledgeAlarm();
}

QVariant FleetModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char* const names[ColumnCount] = {"Port",     "Mode",       "Code",    "Altitude", "Volts",
                                                   "Replies", "Firmware", "Last reply", "Link",    "Alarm"};
    return section >= 0 && section < ColumnCount ? QString::fromLatin1(names[section]) : QVariant();
}

QString FleetModel::text(int r, Column column) const
{
    if (remote(r)) return remoteText(remoteAt(r), column);
    const Row& row = rows_[static_cast<std::size_t>(r)];
    const PolledLink& link = *row.link;
    if (row.panel) {
        if (column == Port) return QStringLiteral("COM%1 · panel").arg(unsigned{link.port()});
        if (!panel_) return {};
        if (const auto item = itemOf(column)) return latin1(panel_->status.text(*item));
        if (column == LastReply) return age(panel_->lastReplyMs);
        if (column == Quality) return panel_->quality;
        if (column == Alarm) return panel_->alarm ? alarmWords(*panel_->alarm) : QString();
        return {};
    }
    switch (column) {
    case Port: {
        QString port = QStringLiteral("COM%1").arg(unsigned{link.port()});
        if (!link.destination().isEmpty()) port += QStringLiteral(" → ") + link.destination();
        if (link.unencrypted()) port += QStringLiteral(" · unencrypted");
        if (link.phase() == PolledLink::Phase::Opening) return port + QStringLiteral(" · opening");
        if (!link.failure().isEmpty()) port += QStringLiteral(" · ") + link.failure();
        return port;
    }
    case LastReply: return age(link.lastReplyMs());
    case Quality:
        // Counted from the loss: nothing answered since.
        return link.lastRecord() ? QStringLiteral("%1/%2").arg(link.answered()).arg(link.asked()) : QString();
    case Alarm: {
        const transponder::Alarm* shown = link.alarms().shown();
        return shown ? alarmWords(*shown) : QString();
    }
    default: break;
    }
    const auto item = itemOf(column);
    if (!item || !link.lastRecord()) return {};
    return latin1(link.lastRecord()->status.text(*item));
}

QString FleetModel::toolTip(int r, Column column) const
{
    if (remote(r)) return remoteToolTip(remoteAt(r), column);
    const Row& row = rows_[static_cast<std::size_t>(r)];
    if (row.panel) return column == Port ? QStringLiteral("The panel holds this port.") : text(r, column);
    if (itemOf(column) && !row.link->answering() && row.link->lastRecord())
        return QStringLiteral("%1, as last heard %2 ago: the link is not answering now.")
            .arg(text(r, column), age(row.link->lastReplyMs()));
    if (column != Port) return text(r, column);
    return row.link->diagnosis().isEmpty() ? text(r, column) : row.link->diagnosis();
}

QString FleetModel::age(std::optional<std::uint64_t> lastReplyMs) const
{
    if (!lastReplyMs) return {};
    const std::uint64_t now = scheduler_.ageClockMs();
    return ageWords(now > *lastReplyMs ? now - *lastReplyMs : 0);
}

std::optional<std::uint64_t> FleetModel::remoteAgeMs(const Remote& remote) const
{
    if (!remote.ageAtArrivalMs) return std::nullopt;
    const std::uint64_t now = scheduler_.ageClockMs();
    return *remote.ageAtArrivalMs + (now > remote.arrivedMs ? now - remote.arrivedMs : 0);
}

QString FleetModel::remoteFailure(const Remote& remote) const
{
    const QString& link = remote.row.link;
    return link == QLatin1String("polling") || link == QLatin1String("opening") ? QString() : link;
}

QString FleetModel::remoteText(const Remote& remote, Column column) const
{
    const RemoteRow& row = remote.row;
    switch (column) {
    case Port: {
        QString port = QStringLiteral("%1 · remote · %2").arg(row.port, row.publisher);
        if (gone_.contains(row.publisher)) port += QStringLiteral(" · gone");
        if (!remoteFailure(remote).isEmpty()) port += QStringLiteral(" · ") + remoteFailure(remote);
        if (!clocksApart(row).isEmpty()) port += QStringLiteral(" · clocks differ by %1").arg(clocksApart(row));
        return port;
    }
    case LastReply: {
        const auto age = remoteAgeMs(remote);
        return age ? ageWords(*age) : QString();
    }
    case Quality:
        // The last round published: how it went there.
        if (!row.record) return {};
        return QStringLiteral("%1/%2").arg(row.record->answered).arg(row.record->answered +
                                                                    static_cast<int>(row.record->unanswered.size()));
    case Alarm: {
        const transponder::Alarm* shown = remote.alarms->shown();
        return shown ? alarmWords(*shown) : QString();
    }
    default: break;
    }
    const auto item = itemOf(column);
    if (!item || !row.record) return {};
    return latin1(row.record->status.text(*item));
}

QString FleetModel::remoteToolTip(const Remote& remote, Column column) const
{
    const RemoteRow& row = remote.row;
    const bool gone = gone_.contains(row.publisher);
    if (itemOf(column) && row.record && (gone || !row.answering)) {
        const auto age = remoteAgeMs(remote);
        return QStringLiteral("%1, as published %2 ago: %3.")
            .arg(remoteText(remote, column), age ? ageWords(*age) : QStringLiteral("some time"),
                 gone ? QStringLiteral("%1 has gone from the broker").arg(row.publisher)
                      : QStringLiteral("the link is not answering there"));
    }
    if (column != Port) return remoteText(remote, column);
    QString tip = QStringLiteral("%1 of %2, through the broker: read only, no command or hand-over reaches it.")
                      .arg(row.port, row.publisher);
    if (gone) tip += QStringLiteral(" %1 has gone from the broker; its rows show its last word.").arg(row.publisher);
    if (!clocksApart(row).isEmpty())
        tip += QStringLiteral(" This machine's clock and %1's differ by %2: ages read from its publication times "
                              "are not reliable.")
                   .arg(row.publisher, clocksApart(row));
    return tip;
}

std::vector<QString>& FleetModel::shown(int r)
{
    if (remote(r)) return remote_[static_cast<std::size_t>(r - localRowCount())].shown;
    return rows_[static_cast<std::size_t>(r)].shown;
}

void FleetModel::refresh(int r)
{
    std::vector<QString>& shownTexts = shown(r);
    std::vector<QString> texts;
    texts.reserve(ColumnCount);
    for (int c = 0; c < ColumnCount; ++c) texts.push_back(text(r, static_cast<Column>(c)) + toolTip(r, static_cast<Column>(c)));
    // The colours follow the state, which the texts alone may not show.
    texts.push_back(QString::number(static_cast<int>(rowState(r))) + (current(r) ? u'a' : u'-'));
    if (texts == shownTexts) return;
    int first = ColumnCount;
    int last = -1;
    for (int c = 0; c < ColumnCount; ++c) {
        if (!shownTexts.empty() && texts.back() != shownTexts.back()) {
            first = 0;
            last = ColumnCount - 1;
            break;
        }
        if (!shownTexts.empty() && texts[static_cast<std::size_t>(c)] == shownTexts[static_cast<std::size_t>(c)]) continue;
        first = std::min(first, c);
        last = c;
    }
    shownTexts = std::move(texts);
    emit dataChanged(index(r, first), index(r, last));
}

void FleetModel::tick()
{
    for (int r = 0; r < rowCount(); ++r) refresh(r);
}

} // namespace links
