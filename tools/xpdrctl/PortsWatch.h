#pragma once

#include "tools/xpdrctl/CommandLine.h"

#include <ostream>

namespace fw {
class StopSignals;
}

namespace xpdrctl {

// watch over several ports: one PolledLink each, all on the application's event
// loop, so that no port's round waits on another's. Each sequence is written as
// it finishes, named by its port; a port's loss and its return are told on
// `err`, one line each, while the others go on. Runs until a stop signal (exit
// status 0), or ends at once with PortUnavailable when no port could be opened
// at the start. With --mqtt each port is published to the broker as well; the
// broker's absence or refusal is told on `err` and never stops the polling.
// Needs a QCoreApplication.
int watchPorts(const Invocation& invocation, fw::StopSignals& stops, std::ostream& out, std::ostream& err);

} // namespace xpdrctl
