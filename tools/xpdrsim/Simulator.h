#pragma once

#include "serial/MessageAssembler.h"
#include "tools/xpdrsim/FrameLog.h"
#include "tools/xpdrsim/LineShaper.h"
#include "tools/xpdrsim/Options.h"
#include "tools/xpdrsim/PortLink.h"
#include "tools/xpdrsim/PortWatch.h"
#include "tools/xpdrsim/PseudoTerminal.h"
#include "tools/xpdrsim/Replay.h"
#include "framework/StopSignals.h"
#include "tools/xpdrsim/Transponder.h"

#include <chrono>
#include <optional>
#include <ostream>
#include <string_view>

namespace xpdrsim {

// The program: a transponder on a pseudo-terminal, served by one poll() loop;
// with --replay, the transponder of a recording (Replay) instead.
// Everything waits in that one call, on the device, the signals and the port
// watch, with the nearest timer (reply delay, report, climb, SPI end) as its
// timeout, so an idle simulator takes no processor time.
class Simulator {
public:
    // Opens the device and, with --link, makes the port entry. Throws
    // std::exception with a message for the operator when it cannot.
    Simulator(const Options& options, std::ostream& out, std::ostream& err);

    // Announces the device on `out`, then serves until a stop signal. Returns the
    // exit status.
    int run();

private:
    Millis now() const;
    void readDevice();
    void serve(std::string_view message);
    void replay(std::string_view message, Millis at);
    // Sends what falls due; false when the replay is over and ends the run.
    bool advance();
    void sendDue();
    void write(const LineShaper::Outgoing& outgoing);
    void portChanged();
    const char* lossReason() const { return options_.line.silent ? "silent" : "dropped"; }
    // Someone holds the port open.
    bool listening() const { return device_ && device_->watch.open(); }
    void announce();
    // Unplugs the device during a loss of the link on record, and plugs in a
    // new one when it returns.
    void followLinkLoss();

    // The pseudo-terminal, its port entry and the watch on who holds it: what
    // the panel sees of an adapter, gone together when the adapter is unplugged.
    struct Device {
        explicit Device(const Options& options);
        PseudoTerminal pty;
        std::optional<PortLink> link;
        PortWatch watch{pty.slavePath()};
    };

    static constexpr Millis MinLoop{1000};

    fw::StopSignals signals_;
    std::chrono::steady_clock::time_point start_;
    Options options_;
    std::ostream& out_;
    FrameLog log_;
    FrameLog notes_; // what a replay says on stderr whether --log is on or not
    std::optional<Device> device_;
    Transponder transponder_;
    std::optional<Replay> replay_;
    LineShaper line_;
    MessageAssembler assembler_;
};

} // namespace xpdrsim
