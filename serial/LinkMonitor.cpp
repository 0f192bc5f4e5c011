#include "serial/LinkMonitor.h"

#include "platform/NetworkFailures.h"
#include "platform/OpenDiagnosis.h"
#include "platform/PortNames.h"
#include "serial/LinkDestination.h"
#include "serial/Serial2.h"

#include <QDateTime>
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

// Where the open port leads; `unencrypted` as LinkDestination has it.
QString whereItLeads(const TSerial& serial, QString& unencrypted)
{
    LinkDestination destination = linkDestination(comName(serial).toStdString(), serial.PlainToAnotherHost());
    unencrypted = std::move(destination.unencrypted);
    return destination.where;
}

} // namespace

LinkMonitor::LinkMonitor(TSerial& serial, QObject* parent)
    : QObject(parent)
    , serial_(serial)
    , machine_(serial)
{
    connect(&machine_, &ReconnectMachine::stateChanged, this, [this](ReconnectMachine::State state) { follow(state); });
    connect(&machine_, &ReconnectMachine::restored, this, [this] {
        device_ = whereItLeads(serial_, unencrypted_);
        connectFailure_.clear();
        restoredOnce_ = true;
        show(QStringLiteral("restored ") + QTime::currentTime().toString(QStringLiteral("HH:mm:ss")));
        emit restored();
    });
}

void LinkMonitor::connecting()
{
    restoredOnce_ = false;
    connectFailure_.clear();
    machine_.connectStarted();
}

void LinkMonitor::connected()
{
    const std::string name = comName(serial_).toStdString();
    if (serial_.Active()) {
        device_ = whereItLeads(serial_, unencrypted_);
    } else {
        device_.clear();
        unencrypted_.clear();
        diagnose(serial_.ErrorCode());
    }
    machine_.connectFinished();
}

void LinkMonitor::diagnose(int error)
{
    const platform::OpenDiagnosis diagnosis = platform::diagnoseOpenFailure(comName(serial_).toStdString(), error);
    connectError_ = error;
    connectFailure_ = QString::fromStdString(diagnosis.summary);
    connectDetail_ = QString::fromStdString(diagnosis.detail);
}

void LinkMonitor::disconnected()
{
    machine_.disconnected();
    show(QStringLiteral("disconnected"));
}

void LinkMonitor::follow(ReconnectMachine::State state)
{
    using State = ReconnectMachine::State;
    switch (state) {
    case State::Connected:
        if (restoredOnce_) return; // restored() says when
        if (serial_.SettingsError() != 0) {
            show(QStringLiteral("open, settings refused: ") + reasonFor(serial_.SettingsError()));
        } else {
            show(QStringLiteral("connected"));
        }
        return;
    case State::Lost:
        // While the loss's report is on screen the link reads "lost"; what
        // follows comes once the operator has seen it.
        show(QStringLiteral("lost"), lossText(machine_.lastError()));
        return;
    case State::Waiting:
        if (!connectFailure_.isEmpty()) {
            // The last attempt's reason, not the first: an adapter that was
            // missing may be there now and busy.
            if (machine_.lastError() != connectError_) diagnose(machine_.lastError());
            emit linkChanged(connectFailure_ + nextTry(), connectDetail_);
            return;
        }
        if (machine_.isNetwork()) {
            // The server's words, where it gave any, tell why the attempts fail.
            const QString words = QString::fromStdString(
                platform::recalledNetworkFailure(comName(serial_).toStdString(), machine_.lastError()));
            show(QStringLiteral("lost") + nextTry() + (words.isEmpty() ? QString() : Separator + words),
                 lossText(machine_.lastError()));
        } else {
            show(QStringLiteral("lost, waiting for the adapter") + nextTry(), lossText(machine_.lastError()));
        }
        return;
    case State::Stopped:
        if (!connectFailure_.isEmpty()) emit linkChanged(connectFailure_, connectDetail_);
        return;
    case State::Idle:
    case State::Connecting:
    case State::Trying:
        return;
    }
}

QString LinkMonitor::nextTry() const
{
    const QDateTime next = machine_.nextAttempt();
    return next.isNull() ? QString() : QStringLiteral(", next try ") + next.toString(QStringLiteral("HH:mm:ss"));
}

// The device's own words (a server's reason for hanging up, the setting it
// refused) say more than the system's.
QString LinkMonitor::reasonFor(int error) const
{
    const std::string words = platform::recalledNetworkFailure(comName(serial_).toStdString(), error);
    return words.empty() ? QString::fromLocal8Bit(std::strerror(error)) : QString::fromStdString(words);
}

QString LinkMonitor::lossText(int error) const
{
    return machine_.isNetwork() ? QStringLiteral("The connection ended (%1).").arg(reasonFor(error))
                                : QStringLiteral("The device went away (%1).").arg(reasonFor(error));
}

void LinkMonitor::show(const QString& state, const QString& toolTip)
{
    QString text = comName(serial_);
    if (!device_.isEmpty()) text += QStringLiteral(" \u2192 ") + device_;
    if (!unencrypted_.isEmpty()) text += Separator + QStringLiteral("unencrypted");
    text += Separator + lineSettings(serial_) + Separator + state;
    if (unencrypted_.isEmpty()) emit linkChanged(text, toolTip);
    else emit linkChanged(text, toolTip.isEmpty() ? text + u'\n' + unencrypted_ : toolTip + u'\n' + unencrypted_);
}
