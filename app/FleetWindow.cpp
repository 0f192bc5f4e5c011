#include "app/FleetWindow.h"

#include "app/BrokerDialog.h"
#include "app/DesktopNotification.h"
#include "app/PanelSettings.h"

#include <QAction>
#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const QString PortsKey = QStringLiteral("fleet/ports");
const QString IntervalKey = QStringLiteral("fleet/interval");

} // namespace

FleetWindow::FleetWindow(QWidget* parent)
    : QWidget(parent, Qt::Window)
    , room_(model_)
    , table_(new QTableView(this))
    , port_(new QSpinBox(this))
    , interval_(new QSpinBox(this))
    , panelTimer_(new QTimer(this))
{
    setObjectName(QStringLiteral("FleetWindow"));
    setWindowTitle(QStringLiteral("Fleet"));
    table_->setObjectName(QStringLiteral("fleetTable"));
    table_->setModel(&model_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    // Widths fitted once to typical texts: fitting them to the contents would
    // measure every row at each change of any.
    table_->horizontalHeader()->setStretchLastSection(true);
    const QFontMetrics metrics = table_->fontMetrics();
    const char* const typical[links::FleetModel::ColumnCount] = {
        "COM12 → rfc2217://192.168.100.100:3001 · lost", "Standby", "7700", "FL 350", "28.0", "Reply", "2.14",
        "Last reply", "14/14", ""};
    for (int column = 0; column + 1 < links::FleetModel::ColumnCount; ++column) {
        const QString header = model_.headerData(column, Qt::Horizontal).toString();
        const int text = std::max(metrics.horizontalAdvance(QString::fromUtf8(typical[column])),
                                  metrics.horizontalAdvance(header));
        table_->setColumnWidth(column, text + 20);
    }
    table_->verticalHeader()->setDefaultSectionSize(metrics.height() + 8);

    port_->setObjectName(QStringLiteral("fleetPort"));
    port_->setRange(1, 255);
    port_->setPrefix(QStringLiteral("COM"));
    auto* add = new QPushButton(QStringLiteral("&Add"), this);
    add->setObjectName(QStringLiteral("fleetAdd"));
    auto* remove = new QPushButton(QStringLiteral("&Remove"), this);
    remove->setObjectName(QStringLiteral("fleetRemove"));
    stop_ = new QPushButton(QStringLiteral("&Stop polling"), this);
    stop_->setObjectName(QStringLiteral("fleetStop"));
    interval_->setObjectName(QStringLiteral("fleetInterval"));
    interval_->setRange(1, 3600);
    interval_->setSuffix(QStringLiteral(" s"));
    interval_->setValue(panelSettings().value(IntervalKey, DefaultIntervalS).toInt());
    publish_ = new QPushButton(QStringLiteral("&Publish to\u2026"), this);
    publish_->setObjectName(QStringLiteral("fleetPublish"));
    auto* remoteFleets = new QPushButton(QStringLiteral("Remote &fleets"), this);
    remoteFleets->setObjectName(QStringLiteral("fleetRemote"));
    remoteMenu_ = new QMenu(remoteFleets);
    remoteFleets->setMenu(remoteMenu_);
    roomStatus_ = new QLabel(this);
    roomStatus_->setObjectName(QStringLiteral("fleetRoomStatus"));
    roomStatus_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    roomStatus_->hide();

    auto* controls = new QHBoxLayout;
    controls->addWidget(port_);
    controls->addWidget(add);
    controls->addWidget(remove);
    controls->addWidget(stop_);
    controls->addStretch();
    controls->addWidget(publish_);
    controls->addWidget(remoteFleets);
    controls->addWidget(new QLabel(QStringLiteral("Poll every"), this));
    controls->addWidget(interval_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(controls);
    layout->addWidget(table_);
    layout->addWidget(roomStatus_);
    resize(980, 320);

    model_.setInterval(static_cast<unsigned>(interval_->value()) * 1000);
    for (const QVariant& port : panelSettings().value(PortsKey).toList())
        model_.addPort(static_cast<sPorts>(port.toInt()));
    connect(&room_, &OperationsRoom::statusChanged, this, [this](const QString& status) {
        roomStatus_->setText(status);
        roomStatus_->setToolTip(room_.unencryptedWhy());
        roomStatus_->setVisible(!status.isEmpty());
        publish_->setText(room_.publishing() ? QStringLiteral("Stop &publishing") : QStringLiteral("&Publish to\u2026"));
    });
    room_.restore();

    connect(add, &QPushButton::clicked, this, [this] { addPort(static_cast<sPorts>(port_->value())); });
    connect(remove, &QPushButton::clicked, this, &FleetWindow::removeSelected);
    connect(stop_, &QPushButton::clicked, this, [this] { setPolling(!polling_); });
    connect(publish_, &QPushButton::clicked, this, [this] {
        if (room_.publishing())
            room_.stopPublishing();
        else
            publishTo();
    });
    connect(remoteMenu_, &QMenu::aboutToShow, this, &FleetWindow::showRemoteFleets);
    // A row's alarm is acknowledged where it shows: from its context menu, or
    // with the panel's key while the row is selected.
    auto* acknowledge = new QAction(QStringLiteral("&Acknowledge Alarm"), table_);
    acknowledge->setObjectName(QStringLiteral("fleetAcknowledge"));
    acknowledge->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+A")));
    acknowledge->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    table_->addAction(acknowledge);
    table_->setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(acknowledge, &QAction::triggered, this, &FleetWindow::acknowledgeSelected);
    connect(interval_, &QSpinBox::valueChanged, this, [this](int seconds) {
        model_.setInterval(static_cast<unsigned>(seconds) * 1000);
        panelSettings().setValue(IntervalKey, seconds);
    });
    connect(table_, &QTableView::doubleClicked, this, [this](const QModelIndex& index) { handToPanel(index.row()); });
    connect(&model_, &links::FleetModel::emergency, this,
            [this](sPorts port, const QString& code, const QString& meaning) {
                QApplication::alert(this);
                DesktopNotification::critical(QStringLiteral("COM%1 squawks %2").arg(unsigned{port}).arg(code),
                                              QStringLiteral("Emergency code %1: %2").arg(code, meaning));
            });
    connect(&model_, &links::FleetModel::remoteEmergency, this, &FleetWindow::remoteEmergency);
    panelTimer_->setInterval(1000);
    connect(panelTimer_, &QTimer::timeout, this, &FleetWindow::showPanelValues);
}

FleetWindow::~FleetWindow() = default;

bool FleetWindow::addPort(sPorts port)
{
    if (!model_.addPort(port)) return false;
    room_.portAdded(model_.rowOf(port));
    save();
    return true;
}

void FleetWindow::takeForPanel(sPorts port)
{
    const int row = model_.rowOf(port);
    if (row < 0 || model_.heldByPanel(row)) return;
    model_.handToPanel(row);
    panelTimer_->start();
}

void FleetWindow::setPolling(bool on)
{
    polling_ = on;
    model_.setPolling(on);
    stop_->setText(on ? QStringLiteral("&Stop polling") : QStringLiteral("&Start polling"));
}

void FleetWindow::acknowledgeSelected()
{
    const QModelIndexList rows = table_->selectionModel()->selectedRows();
    if (!rows.isEmpty()) model_.acknowledge(rows.first().row());
}

void FleetWindow::removeSelected()
{
    const QModelIndexList rows = table_->selectionModel()->selectedRows();
    // A remote row goes with its fleet, from "Remote fleets".
    if (rows.isEmpty() || model_.heldByPanel(rows.first().row()) || model_.remote(rows.first().row())) return;
    room_.portRemoving(rows.first().row());
    model_.removeRow(rows.first().row());
    save();
}

void FleetWindow::save() const
{
    QVariantList ports;
    for (const int port : model_.ports()) ports << port;
    panelSettings().setValue(PortsKey, ports);
}

void FleetWindow::handToPanel(int row)
{
    // A remote row's port is held on its own machine: no hand-over reaches it.
    if (row < 0 || row >= model_.localRowCount() || model_.heldByPanel(row)) return;
    const sPorts port = model_.link(row).port();
    // Ports open exclusively: the fleet lets go before the panel opens it.
    model_.handToPanel(row);
    emit connectPanel(port);
    panelTimer_->start();
    showPanelValues();
}

void FleetWindow::panelReleased(sPorts port)
{
    model_.returnFromPanel(port);
    for (int row = 0; row < model_.rowCount(); ++row)
        if (model_.heldByPanel(row)) return;
    panelTimer_->stop();
}

void FleetWindow::showPanelValues()
{
    if (panelValues_) model_.setPanelValues(panelValues_());
}

void FleetWindow::publishTo()
{
    BrokerDialog dialog(QStringLiteral("Publish to"), this);
    if (const auto last = room_.lastPublished()) dialog.setFields(*last);
    if (dialog.exec() == QDialog::Accepted) room_.publish(dialog.settings());
}

void FleetWindow::addRemoteFleet()
{
    BrokerDialog dialog(QStringLiteral("Add remote fleet"), this);
    if (dialog.exec() == QDialog::Accepted) room_.addRemote(dialog.settings());
}

void FleetWindow::showRemoteFleets()
{
    remoteMenu_->clear();
    remoteMenu_->addAction(QStringLiteral("&Add remote fleet\u2026"), this, &FleetWindow::addRemoteFleet);
    const QStringList fleets = room_.remoteFleets();
    if (!fleets.isEmpty()) remoteMenu_->addSeparator();
    for (int i = 0; i < fleets.size(); ++i)
        remoteMenu_->addAction(QStringLiteral("Remove %1").arg(fleets[i]), this, [this, i] { room_.removeRemote(i); });
}

void FleetWindow::remoteEmergency(const QString& publisher, const QString& port, const QString& code,
                                  const QString& meaning)
{
    QApplication::alert(this);
    DesktopNotification::critical(QStringLiteral("%1 of %2 squawks %3").arg(port, publisher, code),
                                  QStringLiteral("Emergency code %1: %2").arg(code, meaning));
}
