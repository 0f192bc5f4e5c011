#include "framework/ExitCodes.h"
#include "tools/xpdrsim/Options.h"
#include "tools/xpdrsim/Simulator.h"
#include "version/ProgramVersion.h"

#include <csignal>
#include <exception>
#include <iostream>

int main(int argc, char** argv)
{
    const auto parsed = xpdrsim::parseOptions({argv + 1, argv + argc});
    if (!parsed.error.empty()) {
        std::cerr << "xpdrsim: " << parsed.error << "\nTry 'xpdrsim --help'.\n";
        return fw::exitcode::Usage;
    }
    if (parsed.options.help) {
        std::cout << xpdrsim::helpText();
        return 0;
    }
    if (parsed.options.version) {
        std::cout << "xpdrsim " << fw::ProgramVersion << '\n';
        return 0;
    }
    // A log reader that goes away (xpdrsim --log 2>&1 | head) ends the log, not
    // the program: dying of SIGPIPE would leave the port link behind.
    std::signal(SIGPIPE, SIG_IGN);
    try {
        xpdrsim::Simulator simulator(parsed.options, std::cout, std::cerr);
        return simulator.run();
    } catch (const xpdrsim::BadRecording& error) {
        std::cerr << "xpdrsim: " << error.what() << '\n';
        return fw::exitcode::Usage;
    } catch (const std::exception& error) {
        std::cerr << "xpdrsim: " << error.what() << '\n';
        return 1;
    }
}
