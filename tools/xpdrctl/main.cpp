// xpdrctl: the transponder from a shell script, with no display.
#include "framework/Application.h"
#include "framework/ExitCodes.h"
#include "framework/StopSignals.h"
#include "tools/xpdrctl/BrokerWatch.h"
#include "tools/xpdrctl/CommandLine.h"
#include "tools/xpdrctl/Commands.h"
#include "tools/xpdrctl/Export.h"
#include "tools/xpdrctl/Verify.h"
#include "tools/xpdrctl/PortsWatch.h"
#include "tools/xpdrctl/TransponderLink.h"
#include "version/ProgramVersion.h"

#include <QCoreApplication>

#include <exception>
#include <iostream>
#include <optional>

int main(int argc, char** argv)
{
    const auto parsed = xpdrctl::parseCommandLine({argv + 1, argv + argc});
    if (!parsed.error.empty()) {
        std::cerr << "xpdrctl: " << parsed.error << ". Try 'xpdrctl --help'.\n";
        return fw::exitcode::Usage;
    }
    if (parsed.help) {
        std::cout << xpdrctl::helpText();
        return fw::exitcode::Ok;
    }
    if (parsed.version) {
        std::cout << "xpdrctl " << fw::ProgramVersion << '\n';
        return fw::exitcode::Ok;
    }
    const xpdrctl::Invocation& invocation = *parsed.invocation;
    if (invocation.verb == xpdrctl::Verb::Export) return xpdrctl::exportRecording(invocation, std::cout, std::cerr);
    if (invocation.verb == xpdrctl::Verb::Verify) return xpdrctl::verifyRecording(invocation, std::cout, std::cerr);

    try {
        // Watch ends on a signal with the port closed properly; the signals are
        // blocked before the serial component starts its thread.
        std::optional<fw::StopSignals> stops;
        if (invocation.verb == xpdrctl::Verb::Watch) stops.emplace();

        QCoreApplication app(argc, argv);
        fw::Application::instance().setTitle(QStringLiteral("xpdrctl"));
        if (!invocation.mqttSubscribe.empty() || invocation.ports.size() > 1 || !invocation.mqtt.empty()) {
            const int exitCode = invocation.mqttSubscribe.empty()
                                     ? xpdrctl::watchPorts(invocation, *stops, std::cout, std::cerr)
                                     : xpdrctl::watchBroker(invocation, *stops, std::cout, std::cerr);
            if (!std::cout && xpdrctl::outputReaderGone()) xpdrctl::endAsOutputClosed();
            return exitCode;
        }
        xpdrctl::TransponderLink link(invocation, stops ? &*stops : nullptr);
        if (!link.open()) return fw::exitcode::PortUnavailable;
        return xpdrctl::runCommand(invocation, link, std::cout, std::cerr);
    } catch (const std::exception& error) {
        std::cerr << "xpdrctl: " << error.what() << '\n';
        return 1;
    }
}
