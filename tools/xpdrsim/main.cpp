#include "tools/xpdrsim/Options.h"
#include "tools/xpdrsim/Simulator.h"

#include <exception>
#include <iostream>

int main(int argc, char** argv)
{
    const auto parsed = xpdrsim::parseOptions({argv + 1, argv + argc});
    if (!parsed.error.empty()) {
        std::cerr << "xpdrsim: " << parsed.error << "\nTry 'xpdrsim --help'.\n";
        return 2;
    }
    if (parsed.options.help) {
        std::cout << xpdrsim::helpText();
        return 0;
    }
    try {
        xpdrsim::Simulator simulator(parsed.options, std::cout, std::cerr);
        return simulator.run();
    } catch (const std::exception& error) {
        std::cerr << "xpdrsim: " << error.what() << '\n';
        return 1;
    }
}
