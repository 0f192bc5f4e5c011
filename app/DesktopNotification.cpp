#include "app/DesktopNotification.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QFileInfo>
#include <QGuiApplication>
#include <QStringList>
#include <QVariantMap>

namespace {

// Without an address the bus library would try to start a bus of its own for
// the session, which can take long; a desktop session names its bus, or has it
// where the user's runtime folder keeps it.
bool sessionBusKnown()
{
    if (qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS")) return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo::exists(runtime + QStringLiteral("/bus"));
}

} // namespace

void DesktopNotification::critical(const QString& summary, const QString& body)
{
    if (!sessionBusKnown()) return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    constexpr unsigned char Critical = 2;
    const QVariantMap hints{{QStringLiteral("urgency"), QVariant::fromValue(Critical)},
                            {QStringLiteral("desktop-entry"), QGuiApplication::desktopFileName()}};
    call << QGuiApplication::applicationDisplayName() << 0u << QStringLiteral("dialog-warning") << summary << body
         << QStringList() << hints << -1;
    // Sent without waiting: the reply, an id or an error, is of no use to us.
    bus.send(call);
}
