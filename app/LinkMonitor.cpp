#include "app/LinkMonitor.h"

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

} // namespace

LinkMonitor::LinkMonitor(TSerial& serial, QObject* parent)
    : QObject(parent)
    , serial_(serial)
    , reconnector_(serial)
{
    // The reconnector hears of the loss first and may have the port back already.
    connect(&serial_, &TSerial::portLost, this, [this](int error) {
        if (serial_.Active()) return;
        show(reconnector_.isEnabled() ? QStringLiteral("lost, waiting for the adapter") : QStringLiteral("lost"),
             QStringLiteral("The device went away (%1).").arg(QString::fromLocal8Bit(std::strerror(error))));
    });
    connect(&reconnector_, &PortReconnector::restored, this, [this] {
        device_ = QString::fromStdString(platform::tracePortName(comName(serial_).toStdString()).device);
        show(QStringLiteral("restored ") + QTime::currentTime().toString(QStringLiteral("HH:mm:ss")));
        emit restored();
    });
}

void LinkMonitor::connected()
{
    reconnector_.stop();
    const std::string name = comName(serial_).toStdString();
    if (serial_.Active()) {
        device_ = QString::fromStdString(platform::tracePortName(name).device);
        show(QStringLiteral("connected"));
        return;
    }
    device_.clear();
    const int error = serial_.ErrorCode();
    const platform::OpenDiagnosis diagnosis = platform::diagnoseOpenFailure(name, error);
    emit linkChanged(QString::fromStdString(diagnosis.summary), QString::fromStdString(diagnosis.detail));
    // The operator may press Connect first and plug the adapter in then.
    if (error == ENOENT || error == ENODEV) reconnector_.waitForDevice();
}

void LinkMonitor::disconnected()
{
    reconnector_.stop();
    show(QStringLiteral("disconnected"));
}

void LinkMonitor::show(const QString& state, const QString& toolTip)
{
    QString text = comName(serial_);
    if (!device_.isEmpty()) text += QStringLiteral(" \u2192 ") + device_;
    text += Separator + lineSettings(serial_) + Separator + state;
    emit linkChanged(text, toolTip);
}
