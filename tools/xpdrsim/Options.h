#pragma once

#include "tools/xpdrsim/LineShaper.h"

#include <optional>
#include <string>
#include <vector>

namespace xpdrsim {

struct Options {
    std::optional<int> comPort; // --link COM<n>
    LineOptions line;
    double reportsPerSecond = 1.0;
    bool log = false;
    // --replay FILE: the recorded transponder of session `session` instead of
    // the simulated one, at `speed` times the recording's pace.
    std::optional<std::string> replay;
    double speed = 1.0;
    bool loop = false;
    bool fromStart = false; // the recording's clock from the program's start, not the first question
    int session = 1;
    bool help = false;
    bool version = false;
};

struct ParsedOptions {
    Options options;
    std::string error; // empty when the command line was good
};

// Reads the command line (without the program name). Each option with a value
// takes it as the next argument or after "=": "--delay 40" or "--delay=40".
ParsedOptions parseOptions(const std::vector<std::string>& args);

std::string helpText();

} // namespace xpdrsim
