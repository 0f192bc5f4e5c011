#pragma once

#include <QString>

// A desktop notification of critical urgency, through the freedesktop
// Notifications service on the session bus. The call is sent and not waited
// for: without a session bus, or without the service on it, nothing shows and
// nothing waits.
class DesktopNotification {
public:
    static void critical(const QString& summary, const QString& body);
};
