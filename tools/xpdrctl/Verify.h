#pragma once

#include "tools/xpdrctl/CommandLine.h"

#include <ostream>

namespace xpdrctl {

// verify FILE: follows the recording's hash chain (session::checkChain) and says
// on `out` whether it holds, with the lines and the head to keep, or where it
// breaks and why; a file that cannot be read on `err`. Returns the exit status.
int verifyRecording(const Invocation& invocation, std::ostream& out, std::ostream& err);

} // namespace xpdrctl
