#pragma once

#include "links/PreparedDevice.h"

#include <QObject>
#include <QString>
#include <memory>
#include <string>

class TSerial;

namespace links {

// The openings of one serial component's port, made on a thread of their own
// so that a host that never answers holds up neither the window thread nor
// any other link. The component takes each result through its device factory
// (take()): the device the last opening prepared, or, while none is ready, a
// placeholder whose open() fails with EINPROGRESS after starting one; the
// reconnect machine counts that as no attempt and makes the attempt again
// when finished() says the opening has ended.
//
// An opening that is no longer wanted (the link stopped, the port handed to
// someone else) is cancelled: its connection wait ends at once, and whatever
// it opened is closed on its thread. waitForAbandoned() lets a caller that is
// about to open the same port wait, bounded, until it has.
class DeviceOpening : public QObject {
    Q_OBJECT
public:
    struct Result {
        int error = 0;
        std::string destination; // where the port leads (LinkDestination)
        QString diagnosis;       // the failure in a line, empty after a success
        QString detail;          // the whole story, for a tooltip
    };

    explicit DeviceOpening(TSerial& serial, QObject* parent = nullptr);
    ~DeviceOpening() override;

    // The component's device factory.
    std::shared_ptr<platform::SerialDevice> take();
    // Starts an opening unless one is under way.
    void start();
    // Cancels the opening under way, if any, and drops a prepared device.
    void abandon();
    bool underWay() const { return static_cast<bool>(current_); }
    // Waits up to `limitMs` for every cancelled opening to have let its device go.
    static bool waitForAbandoned(unsigned limitMs);

signals:
    // An opening has ended; on success take() hands out its device until the
    // event's handlers have returned.
    void finished(const links::DeviceOpening::Result& result);

private:
    struct Opening;

    void ended(const std::shared_ptr<Opening>& opening);

    TSerial& serial_;
    std::shared_ptr<Opening> current_;
    std::shared_ptr<PreparedDevice> ready_;
};

} // namespace links
