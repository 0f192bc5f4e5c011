#pragma once

#include "transponder/PreflightCheck.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace xpdrctl {

using Millis = std::chrono::milliseconds;

enum class Verb { Status, Watch, Set, Spi, Ping, Send, Check, Export, Verify };

// A setting as the panel's button sends it, and how its read-back is judged.
struct Setting {
    std::string item;  // as typed: "mode", "code", ...
    std::string frame; // the whole frame
    char letter;       // the item's letter, sent as a query to read it back
    // Whether the value read back shows the setting took; none: nothing to
    // compare (the supply voltage reads back as a measurement).
    std::function<bool(const std::string& value)> matches;
    std::string wanted; // what a matching read-back is, in words
};

struct Invocation {
    std::string port;             // as given: COM<n> or a device path
    std::optional<int> comNumber; // n, for COM<n>
    // watch: every --port in the order given, `port` first; one for any other verb.
    std::vector<std::string> ports;
    Verb verb = Verb::Status;
    std::optional<Setting> setting; // set
    std::string command;            // send: the frame's content
    transponder::PreflightCheck check; // check: the expectations, in the order given
    std::string aircraft;              // check: for the report, as given
    std::string operatorName;
    std::string recording;             // export, verify: the recording's file
    int session = 1;                   // export: which of its sessions, from 1
    bool json = false;
    bool raw = false; // the transponder's bytes as they come, control bytes too
    // set code: 7500, 7600 and 7700 go out only with it, so that an emergency
    // code is never set by a slip of the fingers.
    bool emergency = false;
    Millis timeout{300};
    Millis spacing{0};
    Millis interval{1000};
    // watch: the broker the ports are published to (--mqtt), or read from
    // (--mqtt-subscribe, with no port), and the file of its further settings.
    std::string mqtt;
    std::string mqttSubscribe;
    std::string mqttConfig;
};

struct ParsedCommandLine {
    std::optional<Invocation> invocation;
    bool help = false;
    bool version = false;
    std::string error; // one line; empty when the command line was good
};

// Reads the arguments (without the program name). Options may stand anywhere;
// each takes its value as the next argument or after "=". A word that reads
// as a negative number is an argument, so that "set offset -1" is refused for
// what it is.
ParsedCommandLine parseCommandLine(const std::vector<std::string>& args);

std::string helpText();

} // namespace xpdrctl
