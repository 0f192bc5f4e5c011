#pragma once

#include "tools/xpdrctl/CommandLine.h"

#include <ostream>

namespace xpdrctl {

// export FILE --csv: the sequences of one session of a recording as CSV on
// `out` (session::SequenceCsv); the lines that did not read, and a file that
// cannot be read, on `err`. Returns the exit status.
int exportRecording(const Invocation& invocation, std::ostream& out, std::ostream& err);

} // namespace xpdrctl
