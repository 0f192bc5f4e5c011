#pragma once

#include "serial/ReconnectMachine.h"

#include <QObject>
#include <QString>

class TSerial;

// Tells what the link is doing, for the link section of the status bar: the
// port, the device it leads to (a network port's address), the line settings
// and the state ("connected", "open, settings refused: …", "lost", "lost,
// waiting for the adapter", "lost, next try 12:03:48 · another client holds
// this port ("Port already in use")", "restored 12:03:44", "disconnected"), or,
// when the port did not open, a diagnosis that says how to fix it, kept until
// the next Connect, with the next try's time. The server's own words, where it
// gave any, are quoted. A network port in plain TCP to a host outside the
// loopback range reads "unencrypted" after its address, the fix in the tooltip. It owns the reconnect machine and
// shows what that does; the machine decides.
class LinkMonitor : public QObject {
    Q_OBJECT
public:
    explicit LinkMonitor(TSerial& serial, QObject* parent = nullptr);

    ReconnectMachine& reconnector() { return machine_; }

    // The operator's Connect is about to open the port, and has tried to.
    void connecting();
    void connected();
    // The operator's Disconnect, before the port closes.
    void disconnected();

signals:
    void linkChanged(const QString& text, const QString& toolTip);
    // The lost port is open again.
    void restored();

private:
    void follow(ReconnectMachine::State state);
    void show(const QString& state, const QString& toolTip = {});
    // The diagnosis of a failed opening, kept as the link section's words.
    void diagnose(int error);
    // The tooltip of a lost link: what went away, and the system's reason.
    QString lossText(int error) const;
    QString reasonFor(int error) const;
    // ", next try 12:03:48" while a timed attempt is due.
    QString nextTry() const;

    TSerial& serial_;
    ReconnectMachine machine_;
    QString device_;         // what the port led to when it last opened
    QString unencrypted_;    // why a plain link beyond this machine is a risk, and the fix
    QString connectFailure_; // the diagnosis of the operator's failed Connect
    QString connectDetail_;
    int connectError_ = 0;   // the failure connectFailure_ tells of
    bool restoredOnce_ = false;
};
