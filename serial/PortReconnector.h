#pragma once

#include "framework/Timer.h"
#include "serial/RetrySchedule.h"

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>

class TSerial;

// Brings a lost port back. Once the device has gone away (TSerial::portLost), or
// a Connect has found it missing (waitForDevice), it waits until the port's COM
// name leads to a device again and opens the port then, with the settings it
// has: the same port, rate and framing.
//
// It waits on file-system notifications for the folders along the way from the
// port directory to the device, never on a timer, and costs nothing while
// nothing there changes. Attempts that fail while it waits are not reported:
// the operator has been told once.
//
// Only the port's entry in the port directory counts: a COM name whose entry has
// gone does not fall back to a built-in device meanwhile (COM1 would otherwise
// reopen as the system console), and a UART on the board, which a built-in name
// stands for, does not come and go anyway. A pseudo-terminal's number goes to the next program that asks for one, so an
// entry that leads to one counts only once it has been made anew: an unchanged
// link to a reused number would lead into someone else's terminal. So the
// pseudo-terminals' own folder is not watched: only the port directory is.
//
// A network port has no device to watch for: its server comes back without a
// sign. It is tried again on a timer, after RetrySchedule's waits (half a
// second, doubling up to eight), which are then its only wake-ups.
class PortReconnector : public QObject {
    Q_OBJECT
public:
    explicit PortReconnector(TSerial& serial, QObject* parent = nullptr);

    // Off: waits no more and starts no wait.
    void setEnabled(bool enabled);
    bool isEnabled() const { return enabled_; }

    // Starts waiting for the port's device (when enabled and the port is closed).
    void waitForDevice();
    // Stops waiting: the operator disconnected.
    void stop();
    bool isWaiting() const { return waiting_; }

    // The folders being watched, for tests and diagnostics.
    QStringList watchedFolders() const { return watcher_.directories(); }

signals:
    // The port is open again.
    void restored();

private:
    void lookAgain();
    void watchTheWayTo(const QString& comName);
    void tryTheServer();

    TSerial& serial_;
    QFileSystemWatcher watcher_;
    fw::TTimer retry_;
    RetrySchedule schedule_;
    bool opening_ = false; // an attempt runs (a network port's opening runs the event loop)
    bool enabled_ = true;
    bool waiting_ = false;
    QString lostLink_; // the entry as it was when the port was lost, see linkIdentity()
};
