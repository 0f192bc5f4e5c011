#pragma once

#include "tools/xpdrctl/CommandLine.h"

#include <ostream>

namespace xpdrctl {

class TransponderLink;

// Runs the command of `invocation` over the open link: data to `out`, one line
// per problem to `err`. Returns the exit status (framework/ExitCodes.h).
int runCommand(const Invocation& invocation, TransponderLink& link, std::ostream& out, std::ostream& err);

} // namespace xpdrctl
