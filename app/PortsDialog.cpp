#include "app/PortsDialog.h"

#include "app/NetworkPortDialog.h"
#include "framework/MessageBoxes.h"
#include "platform/NetworkAddress.h"
#include "platform/PortNames.h"
#include "ports/DeviceList.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

QString numbersText(const QList<int>& numbers)
{
    QStringList names;
    for (int number : numbers) names << QStringLiteral("COM%1").arg(number);
    return names.join(QStringLiteral(", "));
}

// "/dev/ttyUSB0 (FT232R USB UART)", to name a device in a question; a network
// port by its address.
QString named(const DeviceList& devices, const QString& path)
{
    if (platform::isNetworkEntry(path.toStdString())) {
        platform::NetworkAddress address;
        std::string problem;
        if (platform::readNetworkEntry(path.toStdString(), address, problem) == 0)
            return QString::fromStdString(address.url());
    }
    for (const DeviceList::Row& row : devices.rows()) {
        if (row.device.path != path && row.device.byId != path) continue;
        if (!row.device.description.isEmpty()) return path + QStringLiteral(" (") + row.device.description + u')';
    }
    return path;
}

} // namespace

PortsDialog::PortsDialog(std::unique_ptr<DeviceSource> source, const QString& portDirectory, QWidget* parent)
    : QDialog(parent)
    , devices_(std::make_unique<DeviceList>(std::move(source), portDirectory))
    , table_(new QTableWidget(0, ColumnCount, this))
    , number_(new QSpinBox(this))
    , map_(new QPushButton(QStringLiteral("&Map"), this))
    , unmap_(new QPushButton(QStringLiteral("&Remove mapping"), this))
    , addNetwork_(new QPushButton(QStringLiteral("&Add network port\u2026"), this))
{
    setObjectName(QStringLiteral("PortsDialog"));
    setWindowTitle(QStringLiteral("Ports"));
    table_->setObjectName(QStringLiteral("devices"));
    table_->setHorizontalHeaderLabels({QStringLiteral("Device"), QStringLiteral("By-id name"),
                                       QStringLiteral("Description"), QStringLiteral("Manufacturer"),
                                       QStringLiteral("Serial number"), QStringLiteral("USB ID"),
                                       QStringLiteral("COM"), QStringLiteral("Diagnosis")});
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->setWordWrap(false);
    table_->horizontalHeader()->setStretchLastSection(true);
    number_->setObjectName(QStringLiteral("comNumber"));
    number_->setRange(1, 255);
    number_->setPrefix(QStringLiteral("COM"));
    map_->setObjectName(QStringLiteral("map"));
    unmap_->setObjectName(QStringLiteral("unmap"));
    addNetwork_->setObjectName(QStringLiteral("addNetwork"));

    auto* directory = new QLabel(QStringLiteral("Port directory: ") + portDirectory, this);
    // A folder's name may hold anything a file name may, markup included.
    directory->setTextFormat(Qt::PlainText);
    directory->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // Entries written before they were kept private to their user are made
    // so once, and the operator reads which.
    const QStringList tightened = devices_->portMap().tightenEarlierEntries();
    if (!tightened.isEmpty())
        directory->setText(directory->text() + QStringLiteral("\nNow readable and writable by you alone: ")
                           + tightened.join(QStringLiteral(", ")));
    auto* mapping = new QHBoxLayout;
    mapping->addWidget(new QLabel(QStringLiteral("Number for the selected device:"), this));
    mapping->addWidget(number_);
    mapping->addWidget(map_);
    mapping->addWidget(unmap_);
    mapping->addWidget(addNetwork_);
    mapping->addStretch();
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    // Enter closes the dialog as Escape does, unless a button of its own has the focus.
    buttons->button(QDialogButtonBox::Close)->setDefault(true);
    mapping->addWidget(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table_);
    layout->addWidget(directory);
    layout->addLayout(mapping);
    resize(1180, 300);

    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(map_, &QPushButton::clicked, this, &PortsDialog::mapSelected);
    connect(unmap_, &QPushButton::clicked, this, &PortsDialog::unmapSelected);
    connect(addNetwork_, &QPushButton::clicked, this, &PortsDialog::askForNetworkPort);
    connect(devices_.get(), &DeviceList::changed, this, &PortsDialog::showDevices);
    connect(table_, &QTableWidget::itemSelectionChanged, this, [this] {
        const int row = table_->currentRow();
        const bool chosen = row >= 0 && row < devices_->rows().size();
        map_->setEnabled(chosen && !devices_->rows()[row].missing);
        unmap_->setEnabled(chosen && !devices_->rows()[row].numbers.isEmpty());
        if (chosen && !devices_->rows()[row].numbers.isEmpty()) number_->setValue(devices_->rows()[row].numbers.first());
    });
    showDevices();
}

PortsDialog::~PortsDialog() = default;

// Before the first paint: the list is read here, not when the dialog was made.
void PortsDialog::showEvent(QShowEvent* event)
{
    devices_->setFollowing(true);
    QDialog::showEvent(event);
}

// A hidden dialog kept for later must not read /dev on every change under it.
void PortsDialog::hideEvent(QHideEvent* event)
{
    devices_->setFollowing(false);
    QDialog::hideEvent(event);
}

void PortsDialog::showDevices()
{
    // The selection follows its device, not its row, as devices come and go.
    const int current = table_->currentRow();
    const QString selected = current >= 0 && table_->item(current, Device) ? table_->item(current, Device)->text() : QString();
    const auto& rows = devices_->rows();
    table_->setRowCount(static_cast<int>(rows.size()));
    int reselect = -1;
    for (int r = 0; r < rows.size(); ++r) {
        const DeviceList::Row& row = rows[r];
        // The by-id name alone; its folder is the same for every device.
        const QString byIdName = QFileInfo(row.device.byId).fileName();
        const QString cells[ColumnCount] = {row.device.path, byIdName, row.device.description,
                                            row.device.manufacturer, row.device.serialNumber, row.device.usbId,
                                            numbersText(row.numbers), row.diagnosis};
        for (int c = 0; c < ColumnCount; ++c) {
            auto* item = new QTableWidgetItem(cells[c]);
            if (c == Diagnosis) item->setToolTip(row.diagnosisDetail);
            if (c == ById) item->setToolTip(row.device.byId);
            table_->setItem(r, c, item);
        }
        if (row.device.path == selected) reselect = r;
    }
    // The diagnosis takes what is left: sized to its contents while the dialog
    // is open, it would no longer stretch to the edge.
    for (int c = 0; c < Diagnosis; ++c) table_->resizeColumnToContents(c);
    table_->clearSelection();
    if (reselect >= 0) table_->selectRow(reselect);
    else {
        map_->setEnabled(false);
        unmap_->setEnabled(false);
    }
}

void PortsDialog::mapSelected()
{
    const int r = table_->currentRow();
    if (r < 0 || r >= devices_->rows().size()) return;
    const DeviceList::Row row = devices_->rows()[r];
    const int number = number_->value();
    if (row.network) {
        // Another number for the same server, with the same files.
        if (row.numbers.contains(number)) return;
        addNetworkPort(row.entry);
        return;
    }
    // The by-id name stays the same in whichever USB socket the adapter is.
    const QString target = row.device.byId.isEmpty() ? row.device.path : row.device.byId;
    const PortMap& map = devices_->portMap();
    if (map.numbersFor(target).contains(number)) return;
    replaceNumber(number, named(*devices_, target), [&] { return map.map(number, target); });
}

void PortsDialog::addNetworkPort(const QString& entry)
{
    const int number = number_->value();
    const QString address = entry.section(u'\n', 0, 0);
    platform::NetworkAddress parsed;
    std::string problem;
    if (!platform::parseNetworkEntry(entry.toStdString(), parsed, problem)) {
        fw::MessageBox(QStringLiteral("\"%1\" is not the address of a network port: %2.\rNothing was changed.")
                           .arg(address, QString::fromStdString(problem)),
                       QStringLiteral("Ports"), fw::MsgButtons::Ok, fw::MsgIcon::Error);
        return;
    }
    const PortMap& map = devices_->portMap();
    replaceNumber(number, address, [&] { return map.mapNetwork(number, entry); });
}

void PortsDialog::askForNetworkPort()
{
    NetworkPortDialog ask(number_->value(), this);
    if (ask.exec() == QDialog::Accepted) addNetworkPort(ask.entry());
}

template <class Write>
void PortsDialog::replaceNumber(int number, const QString& what, Write write)
{
    const PortMap& map = devices_->portMap();
    const QString existing = map.entries().value(number);
    if (!existing.isEmpty()) {
        const QString question = QStringLiteral("COM%1 stands for %2.\rMake it stand for %3 instead?")
                                     .arg(number)
                                     .arg(named(*devices_, existing), what);
        if (fw::MessageBox(question, QStringLiteral("Ports"), fw::MsgButtons::OkCancel, fw::MsgIcon::Warning)
            != fw::MsgResult::Ok)
            return;
    }
    const QString failure = write();
    if (!failure.isEmpty()) {
        fw::MessageBox(QStringLiteral("The port directory %1 cannot be written: %2.\rNothing was changed.")
                           .arg(map.directory(), failure),
                       QStringLiteral("Ports"), fw::MsgButtons::Ok, fw::MsgIcon::Error);
        return;
    }
    devices_->refresh();
}

void PortsDialog::unmapSelected()
{
    const int r = table_->currentRow();
    if (r < 0 || r >= devices_->rows().size()) return;
    const PortMap& map = devices_->portMap();
    for (int number : devices_->rows()[r].numbers) {
        const QString failure = map.unmap(number);
        if (failure.isEmpty()) continue;
        fw::MessageBox(QStringLiteral("The port directory %1 cannot be written: %2.").arg(map.directory(), failure),
                       QStringLiteral("Ports"), fw::MsgButtons::Ok, fw::MsgIcon::Error);
        break;
    }
    devices_->refresh();
}
