#pragma once

#include "framework/MessageBoxes.h"
#include "tools/xpdrctl/CommandLine.h"
#include "transponder/QueryRound.h"

#include <QEventLoop>
#include <QTimer>
#include <memory>

class QSocketNotifier;
class TSerial;

namespace platform {
class SerialDevice;
}

namespace fw {
class StopSignals;
}

namespace xpdrctl {

// The serial port to the transponder, driven from the command line: it opens
// the port as the panel does and runs query rounds on the application's event
// loop, with the serial component's messages handed to it as they arrive.
//
// The component's failures are reported the way a program without a display
// reports them: one line on stderr, named after the port.
class TransponderLink {
public:
    // `stops`, when given, ends a wait early on SIGINT, SIGTERM or SIGHUP.
    TransponderLink(const Invocation& invocation, fw::StopSignals* stops);
    ~TransponderLink();
    TransponderLink(const TransponderLink&) = delete;
    TransponderLink& operator=(const TransponderLink&) = delete;

    // False when the port could not be opened (the reason is on stderr by then).
    bool open();
    // Sends and waits until the round has finished. False when it could not: the
    // port failed or a stop signal came.
    bool run(transponder::QueryRound& round);
    // Waits `duration`, serving the port meanwhile. False as run().
    bool pause(Millis duration);

    bool stopped() const { return stopped_; }
    // The port has failed since it opened (a vanished device, say).
    bool failed() const;

private:
    // Failures of the serial component: one line each, and a wait ends to look at it.
    class Reporter : public fw::StderrMessageBoxes {
    public:
        Reporter(QString prefix, QEventLoop& loop);
        fw::MsgResult show(const QString& text, const QString& caption, fw::MsgButtons buttons,
                           fw::MsgIcon icon) override;

    private:
        QEventLoop& loop_;
    };

    void waitUntil(transponder::QueryRound::Clock::time_point when);

    const Invocation& invocation_;
    QEventLoop loop_;
    QTimer timer_;
    Reporter reporter_;
    std::shared_ptr<platform::SerialDevice> device_;  // a COM name's, once opened
    std::unique_ptr<TSerial> serial_;
    std::unique_ptr<QSocketNotifier> stopNotifier_;
    transponder::QueryRound* round_ = nullptr;
    bool opened_ = false;
    bool stopped_ = false;
};

} // namespace xpdrctl
