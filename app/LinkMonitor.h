#pragma once

#include "serial/PortReconnector.h"

#include <QObject>
#include <QString>

class TSerial;

// Tells what the link is doing, for the link section of the status bar: the
// port, the device it leads to (a network port's address), the line settings
// and the state ("connected", "lost, waiting for the adapter", "lost,
// reconnecting", "restored 12:03:44", "disconnected"), or, when the port did not
// open, a diagnosis that says how to fix it, kept until the next Connect. It owns
// the reconnector that brings a lost port back.
class LinkMonitor : public QObject {
    Q_OBJECT
public:
    explicit LinkMonitor(TSerial& serial, QObject* parent = nullptr);

    PortReconnector& reconnector() { return reconnector_; }

    // The operator's Connect has tried to open the port.
    void connected();
    // The operator's Disconnect, before the port closes.
    void disconnected();

signals:
    void linkChanged(const QString& text, const QString& toolTip);
    // The lost port is open again.
    void restored();

private:
    void show(const QString& state, const QString& toolTip = {});
    // The tooltip of a lost link: what went away, and the system's reason.
    QString lossText(int error) const;

    TSerial& serial_;
    PortReconnector reconnector_;
    QString device_; // what the port led to when it last opened
};
