#include "app/LinkMonitor.h"

#include "platform/NetworkAddress.h"
#include "platform/OpenDiagnosis.h"
#include "platform/PortNames.h"
#include "serial/Serial2.h"

#include <QTime>
#include <cerrno>
#include <cstring>

namespace {

const QString Separator = QStringLiteral(" \u00b7 ");

QString comName(const TSerial& serial)
{
    return QStringLiteral("COM%1").arg(unsigned{serial.Port()});
}

// "9600 8N1".
QString lineSettings(const TSerial& serial)
{
    static const char parity[] = {'N', 'O', 'E', 'M', 'S'};
    return QStringLiteral("%1 %2%3%4")
        .arg(serial.Baudrate())
        .arg(serial.DataBits() == d8bit ? 8 : 7)
        .arg(QChar::fromLatin1(parity[serial.Parity() % 5]))
        .arg(serial.StopBits() == st1bit ? 1 : 2);
}

// The entry of a network port, or empty for a device.
std::string networkEntry(const std::string& comName)
{
    const std::string entry = platform::resolvePortName(comName);
    return !entry.empty() && platform::isNetworkEntry(entry) ? entry : std::string();
}

// Where the port leads: the device at the end of its links, or a network
// port's address.
QString whereItLeads(const std::string& comName)
{
    const std::string entry = networkEntry(comName);
    if (entry.empty()) return QString::fromStdString(platform::tracePortName(comName).device);
    platform::NetworkAddress address;
    std::string problem;
    return platform::readNetworkEntry(entry, address, problem) == 0 ? QString::fromStdString(address.url()) : QString();
}

} // namespace

LinkMonitor::LinkMonitor(TSerial& serial, QObject* parent)
    : QObject(parent)
    , serial_(serial)
    , reconnector_(serial)
{
    // While the loss's report is on screen the link reads "lost"; what follows
    // comes once the operator has seen it.
    connect(&serial_, &TSerial::portFailed, this,
            [this](int error) { show(QStringLiteral("lost"), lossText(error)); });
    // The reconnector hears of the loss first and may have the port back already.
    connect(&serial_, &TSerial::portLost, this, [this](int error) {
        if (serial_.Active()) return;
        if (!reconnector_.isEnabled()) return; // it stays "lost"
        const bool network = !networkEntry(comName(serial_).toStdString()).empty();
        show(network ? QStringLiteral("lost, reconnecting") : QStringLiteral("lost, waiting for the adapter"),
             lossText(error));
    });
    connect(&reconnector_, &PortReconnector::restored, this, [this] {
        device_ = whereItLeads(comName(serial_).toStdString());
        show(QStringLiteral("restored ") + QTime::currentTime().toString(QStringLiteral("HH:mm:ss")));
        emit restored();
    });
}

void LinkMonitor::connected()
{
    reconnector_.stop();
    const std::string name = comName(serial_).toStdString();
    if (serial_.Active()) {
        device_ = whereItLeads(name);
        show(QStringLiteral("connected"));
        return;
    }
    device_.clear();
    const int error = serial_.ErrorCode();
    const platform::OpenDiagnosis diagnosis = platform::diagnoseOpenFailure(name, error);
    emit linkChanged(QString::fromStdString(diagnosis.summary), QString::fromStdString(diagnosis.detail));
    // The operator may press Connect first and plug the adapter in then, or
    // start the server then.
    const bool serverAway = error == ECONNREFUSED && !networkEntry(name).empty();
    if (error == ENOENT || error == ENODEV || serverAway) reconnector_.waitForDevice();
}

void LinkMonitor::disconnected()
{
    reconnector_.stop();
    show(QStringLiteral("disconnected"));
}

QString LinkMonitor::lossText(int error) const
{
    const QString reason = QString::fromLocal8Bit(std::strerror(error));
    return networkEntry(comName(serial_).toStdString()).empty()
        ? QStringLiteral("The device went away (%1).").arg(reason)
        : QStringLiteral("The connection ended (%1).").arg(reason);
}

void LinkMonitor::show(const QString& state, const QString& toolTip)
{
    QString text = comName(serial_);
    if (!device_.isEmpty()) text += QStringLiteral(" \u2192 ") + device_;
    text += Separator + lineSettings(serial_) + Separator + state;
    emit linkChanged(text, toolTip);
}
