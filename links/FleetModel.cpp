#include "links/FleetModel.h"

#include <QColor>
#include <algorithm>

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
        for (int r = 0; r < rowCount(); ++r)
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
    if (row < 0 || row >= rowCount()) return;
    beginRemoveRows({}, row, row);
    rows_.erase(rows_.begin() + row);
    endRemoveRows();
    ticker_.setEnabled(!rows_.empty());
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
    if (row < 0 || row >= rowCount()) return;
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
    for (int r = 0; r < rowCount(); ++r)
        if (rows_[static_cast<std::size_t>(r)].panel) refresh(r);
}

int FleetModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int FleetModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant FleetModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const auto column = static_cast<Column>(index.column());
    const Row& row = rows_[static_cast<std::size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole: return text(index.row(), column);
    case Qt::ToolTipRole: return toolTip(index.row(), column);
    case Qt::ForegroundRole:
        if (!row.panel && itemOf(column) && !row.link->answering()) return QColor(Qt::gray);
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
    const Row& row = rows_[static_cast<std::size_t>(r)];
    if (row.panel) return panel_ && panel_->alarm ? RowState::Alarm : RowState::Normal;
    if (row.link->alarms().shown()) return RowState::Alarm;
    return row.link->failure().isEmpty() ? RowState::Normal : RowState::Failing;
}

void FleetModel::acknowledge(int row)
{
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
    const std::uint64_t seconds = now > *lastReplyMs ? (now - *lastReplyMs) / 1000 : 0;
    if (seconds < 60) return QStringLiteral("%1 s").arg(seconds);
    if (seconds < 3600) return QStringLiteral("%1 min").arg(seconds / 60);
    return QStringLiteral("%1 h").arg(seconds / 3600);
}

void FleetModel::refresh(int r)
{
    Row& row = rows_[static_cast<std::size_t>(r)];
    std::vector<QString> texts;
    texts.reserve(ColumnCount);
    for (int c = 0; c < ColumnCount; ++c) texts.push_back(text(r, static_cast<Column>(c)) + toolTip(r, static_cast<Column>(c)));
    // The colours follow the state, which the texts alone may not show.
    texts.push_back(QString::number(static_cast<int>(rowState(r))) + (row.panel || row.link->answering() ? u'a' : u'-'));
    if (texts == row.shown) return;
    int first = ColumnCount;
    int last = -1;
    for (int c = 0; c < ColumnCount; ++c) {
        if (!row.shown.empty() && texts.back() != row.shown.back()) {
            first = 0;
            last = ColumnCount - 1;
            break;
        }
        if (!row.shown.empty() && texts[static_cast<std::size_t>(c)] == row.shown[static_cast<std::size_t>(c)]) continue;
        first = std::min(first, c);
        last = c;
    }
    row.shown = std::move(texts);
    emit dataChanged(index(r, first), index(r, last));
}

void FleetModel::tick()
{
    for (int r = 0; r < rowCount(); ++r) refresh(r);
}

} // namespace links
