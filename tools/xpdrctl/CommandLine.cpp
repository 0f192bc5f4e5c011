#include "tools/xpdrctl/CommandLine.h"

#include "framework/CommandLineOption.h"
#include "framework/Conversions.h"
#include "platform/PortNames.h"
#include "transponder/AlarmModel.h"
#include "transponder/MessageSet.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>
#include <map>

namespace xpdrctl {

namespace MessageSet = transponder::MessageSet;

namespace {

constexpr long long MaxMillis = 60000;
constexpr double MaxIntervalSeconds = 86400;
// How far an offset read back may lie from the one set: the transponder keeps
// tenths of a volt.
constexpr double OffsetTolerance = 0.05;

bool isNegativeNumber(const std::string& word)
{
    return word.size() > 1 && word[0] == '-' && (std::isdigit(static_cast<unsigned char>(word[1])) || word[1] == '.');
}

// A choice among fixed words, each sending a fixed value and read back by the
// first character of the answer.
struct Choice {
    const char* word;
    const char* value;
    const char* accepted; // first characters that show it took
    const char* wanted;
};

std::optional<Setting> choose(const std::string& item, char letter, const std::string& word,
                              std::initializer_list<Choice> choices)
{
    for (const Choice& c : choices) {
        if (word != c.word) continue;
        const std::string accepted = c.accepted;
        return Setting{item, MessageSet::Set(letter, c.value), letter,
                       [accepted](const std::string& value) {
                           return !value.empty() && accepted.find(value.front()) != std::string::npos;
                       },
                       c.wanted};
    }
    return std::nullopt;
}

// The offset with a point as the decimal sign: digits, and a fraction if any.
std::optional<double> parseOffset(const std::string& text)
{
    const bool digitsAndPoint = !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c)) || c == '.';
    });
    if (!digitsAndPoint || std::count(text.begin(), text.end(), '.') > 1 || text == ".") return std::nullopt;
    return fw::parseNumber<double>(text);
}

// Builds the setting of "set ITEM VALUE", or says what is wrong with it.
std::optional<Setting> parseSetting(const std::string& item, const std::string& value, std::string& error)
{
    std::optional<Setting> setting;
    std::string expected;
    if (item == "mode") {
        setting = choose(item, MessageSet::OperationalFunction, value,
                         {{"standby", "t", "t", "Standby"}, {"a", "a", "a", "Mode A"}, {"c", "c", "cl", "Mode C"}});
        expected = "standby, a or c";
    } else if (item == "code") {
        const bool octal = value.size() == 4 && std::all_of(value.begin(), value.end(), [](char c) {
            return c >= '0' && c <= '7';
        });
        if (octal)
            setting = Setting{item, MessageSet::Set(MessageSet::AssignedCode, value), MessageSet::AssignedCode,
                              [value](const std::string& answer) { return answer.compare(0, 4, value) == 0; },
                              value};
        expected = "four octal digits (0-7)";
    } else if (item == "replies") {
        setting = choose(item, MessageSet::Interrogation, value,
                         {{"on", "y", "Y", "Enabled"}, {"off", "n", "N", "Disabled"}});
        expected = "on or off";
    } else if (item == "offset") {
        if (isNegativeNumber(value)) {
            error = "set offset: '" + value + "' is negative; the offset is 0 or more";
            return std::nullopt;
        }
        if (const auto volts = parseOffset(value))
            setting = Setting{item, MessageSet::Set(MessageSet::VoltageOffset, value), MessageSet::VoltageOffset,
                              [volts = *volts](const std::string& answer) {
                                  const auto read = fw::parseNumber<double>(fw::Trim(answer));
                                  return read && std::fabs(*read - volts) <= OffsetTolerance + 1e-9;
                              },
                              value + " V"};
        expected = "a number of volts with a point as the decimal sign";
    } else if (item == "encoder") {
        setting = choose(item, MessageSet::EncoderSource, value,
                         {{"gillham", "g", "g", "Gillham"}, {"serial", "s", "s", "Serial"}});
        expected = "gillham or serial";
    } else if (item == "volts") {
        if (value == "14" || value == "28")
            setting = Setting{item, MessageSet::Set(MessageSet::Voltage, value == "14" ? "1" : "2"),
                              MessageSet::Voltage, nullptr, value + " V"};
        expected = "14 or 28";
    } else {
        error = "set: unknown item '" + item + "' (mode, code, replies, offset, encoder, volts)";
        return std::nullopt;
    }
    if (!setting) error = "set " + item + ": '" + value + "' is not " + expected;
    return setting;
}

const std::map<std::string, Verb> Verbs = {
    {"status", Verb::Status}, {"watch", Verb::Watch}, {"set", Verb::Set},
    {"spi", Verb::Spi},       {"ping", Verb::Ping},   {"send", Verb::Send},
    {"check", Verb::Check},   {"export", Verb::Export}, {"verify", Verb::Verify},
};

// How many words each verb takes after itself.
std::size_t argumentCount(Verb verb)
{
    switch (verb) {
    case Verb::Set: return 2;
    case Verb::Send:
    case Verb::Export:
    case Verb::Verify: return 1;
    default: return 0;
    }
}

// Adds the expectations of one file, one a line; an error names the file and the line.
bool readExpectFile(const std::string& path, transponder::PreflightCheck& check, std::string& error)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "option '--expect-file': cannot read '" + path + "': " + std::strerror(errno);
        return false;
    }
    std::ostringstream text;
    text << file.rdbuf();
    if (check.addLines(text.str(), error)) return true;
    error = path + ": " + error;
    return false;
}

// Only watch takes several ports, or publishes them. Each is a COM name, whose port-directory
// entry the reconnect machine follows while the others go on, and each is given
// once: a port opens exclusively.
std::string severalPortsRefusal(Verb verb, const std::vector<std::string>& ports)
{
    if (verb != Verb::Watch)
        return "--port is given " + std::to_string(ports.size()) + " times; only watch takes several ports";
    for (auto port = ports.begin(); port != ports.end(); ++port) {
        if (!platform::comPortNumber(*port))
            return "option '--port': '" + *port + "': " + (ports.size() > 1 ? "watch over several ports" : "--mqtt")
                   + " takes COM names only";
        if (std::find(ports.begin(), port, *port) != port) return "option '--port': '" + *port + "' is given twice";
    }
    return {};
}

} // namespace

ParsedCommandLine parseCommandLine(const std::vector<std::string>& args)
{
    ParsedCommandLine result;
    Invocation invocation;
    std::vector<std::string> ports;
    std::optional<Millis> interval;
    std::optional<int> session;
    bool csv = false;
    std::vector<std::string> words;
    // --expect and --expect-file, in the order given: they are read once the verb is known.
    std::vector<fw::CommandLineOption> expectations;
    std::vector<std::string> signedBy; // --aircraft, --operator: for check's report
    bool optionsEnd = false;

    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnd || arg.empty() || arg[0] != '-' || isNegativeNumber(arg)) {
            words.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnd = true;
            continue;
        }
        const auto option = fw::readOption(
            args, i,
            {"--port", "--timeout", "--spacing", "--interval", "--expect", "--expect-file", "--session", "--aircraft",
             "--operator", "--mqtt", "--mqtt-subscribe", "--mqtt-config"},
            {"--json", "--raw", "--emergency", "--csv", "--help", "-h", "--version"}, result.error);
        if (!option) return result;
        const std::string& name = option->name;
        const std::string& value = option->value;
        const auto bad = [&](const std::string& expected) {
            result.error = option->notA(expected);
            return result;
        };
        if (name == "--help" || name == "-h") {
            result.help = true;
        } else if (name == "--version") {
            result.version = true;
        } else if (name == "--json") {
            invocation.json = true;
        } else if (name == "--raw") {
            invocation.raw = true;
        } else if (name == "--expect" || name == "--expect-file") {
            expectations.push_back(*option);
        } else if (name == "--aircraft" || name == "--operator") {
            (name == "--aircraft" ? invocation.aircraft : invocation.operatorName) = value;
            signedBy.push_back(name);
        } else if (name == "--emergency") {
            invocation.emergency = true;
        } else if (name == "--csv") {
            csv = true;
        } else if (name == "--session") {
            const auto n = fw::parseNumber<int>(value);
            if (!n || *n < 1) return bad("a session number from 1");
            session = *n;
        } else if (name == "--port") {
            ports.push_back(value);
        } else if (name == "--mqtt") {
            invocation.mqtt = value;
        } else if (name == "--mqtt-subscribe") {
            invocation.mqttSubscribe = value;
        } else if (name == "--mqtt-config") {
            invocation.mqttConfig = value;
        } else if (name == "--timeout") {
            const auto ms = fw::parseNumber<long long>(value);
            if (!ms || *ms < 1 || *ms > MaxMillis) return bad("a time-out of 1 .. 60000 ms");
            invocation.timeout = Millis(*ms);
        } else if (name == "--spacing") {
            const auto ms = fw::parseNumber<long long>(value);
            if (!ms || *ms < 0 || *ms > MaxMillis) return bad("a spacing of 0 .. 60000 ms");
            invocation.spacing = Millis(*ms);
        } else {
            const auto seconds = fw::parseNumber<double>(value);
            if (!seconds || !(*seconds > 0) || *seconds > MaxIntervalSeconds)
                return bad("a number of seconds above 0, at most 86400");
            interval = Millis(std::lround(*seconds * 1000));
        }
    }
    if (result.help || result.version) return result;

    // A recording is read from its file: export and verify need no port.
    const auto verb = words.empty() ? Verbs.end() : Verbs.find(words.front());
    const bool exporting = verb != Verbs.end() && verb->second == Verb::Export;
    const bool reading = exporting || (verb != Verbs.end() && verb->second == Verb::Verify);
    if (reading && !ports.empty()) {
        result.error = "--port does not go with " + words.front();
        return result;
    }
    // A viewer of the broker holds no port.
    const bool subscribing = !invocation.mqttSubscribe.empty();
    if (subscribing && !ports.empty()) {
        result.error = "--port does not go with --mqtt-subscribe: a viewer holds no port";
        return result;
    }
    if (ports.empty() && !reading && !subscribing) {
        result.error = "--port is required (COM<n> or a device path)";
        return result;
    }
    for (const std::string& port : ports) {
        if (!platform::comPortNumber(port) && port.find('/') == std::string::npos) {
            result.error = "option '--port': '" + port + "' is neither COM1 .. COM255 nor a device path";
            return result;
        }
    }
    if (!ports.empty()) {
        invocation.port = ports.front();
        invocation.comNumber = platform::comPortNumber(ports.front());
        invocation.ports = ports;
    }
    if (words.empty()) {
        result.error = "no command given (status, watch, set, spi, ping, send, check, export or verify)";
        return result;
    }
    if (verb == Verbs.end()) {
        result.error = "unknown command '" + words.front() + "'";
        return result;
    }
    invocation.verb = verb->second;
    const std::size_t count = argumentCount(invocation.verb);
    if (words.size() - 1 < count) {
        result.error = words.front() + (invocation.verb == Verb::Set      ? ": needs an item and a value"
                                        : reading                         ? ": needs a recording's file"
                                                                          : ": needs a command");
        return result;
    }
    if (words.size() - 1 > count) {
        result.error = words.front() + ": unexpected argument '" + words[count + 1] + "'";
        return result;
    }
    const bool publishing = !invocation.mqtt.empty();
    if ((publishing || subscribing || !invocation.mqttConfig.empty()) && invocation.verb != Verb::Watch) {
        result.error = "--mqtt, --mqtt-subscribe and --mqtt-config go with watch";
        return result;
    }
    if (publishing && subscribing) {
        result.error = "--mqtt publishes ports, --mqtt-subscribe reads a broker: give one of them";
        return result;
    }
    if (!invocation.mqttConfig.empty() && !publishing && !subscribing) {
        result.error = "--mqtt-config goes with --mqtt or --mqtt-subscribe";
        return result;
    }
    if (ports.size() > 1 || publishing) {
        if (const std::string refusal = severalPortsRefusal(invocation.verb, ports); !refusal.empty()) {
            result.error = refusal;
            return result;
        }
    }
    if (invocation.json && invocation.verb != Verb::Status && invocation.verb != Verb::Watch
        && invocation.verb != Verb::Check) {
        result.error = "--json goes with status, watch and check";
        return result;
    }
    if (interval && invocation.verb != Verb::Watch) {
        result.error = "--interval goes with watch";
        return result;
    }
    if (interval) invocation.interval = *interval;
    if ((csv || session) && !exporting) {
        result.error = std::string(csv ? "--csv" : "--session") + " goes with export";
        return result;
    }
    if (exporting && !csv) {
        result.error = "export: give the format (--csv)";
        return result;
    }
    if (session) invocation.session = *session;
    if (!expectations.empty() && invocation.verb != Verb::Check) {
        result.error = expectations.front().name + " goes with check";
        return result;
    }
    if (!signedBy.empty() && invocation.verb != Verb::Check) {
        result.error = signedBy.front() + " goes with check";
        return result;
    }
    for (const fw::CommandLineOption& option : expectations) {
        const bool added = option.name == "--expect" ? invocation.check.add(option.value, result.error)
                                                     : readExpectFile(option.value, invocation.check, result.error);
        if (!added) return result;
    }
    if (invocation.verb == Verb::Check && invocation.check.expectations().empty()) {
        result.error = "check: no expectation given (--expect or --expect-file)";
        return result;
    }

    const bool settingCode = invocation.verb == Verb::Set && words[1] == "code";
    if (invocation.emergency && !settingCode) {
        result.error = "--emergency goes with set code";
        return result;
    }
    if (invocation.verb == Verb::Set) {
        invocation.setting = parseSetting(words[1], words[2], result.error);
        if (!invocation.setting) return result;
    }
    if (settingCode && !invocation.emergency) {
        if (const auto meaning = transponder::AlarmModel::emergencyMeaning(words[2])) {
            result.error = "set code: " + words[2] + " is the emergency code for " + *meaning +
                           "; give --emergency to set it";
            return result;
        }
    }
    if (invocation.verb == Verb::Send) invocation.command = words[1];
    if (reading) invocation.recording = words[1];
    result.invocation = invocation;
    return result;
}

std::string helpText()
{
    return R"(Usage: xpdrctl --port PORT COMMAND [OPTION]...
       xpdrctl --port COM<n> --port COM<n>... watch [OPTION]...
       xpdrctl --port COM<n>... watch --mqtt URL [--mqtt-config FILE] [OPTION]...
       xpdrctl watch --mqtt-subscribe URL [--mqtt-config FILE]
       xpdrctl export FILE --csv [--session N]
       xpdrctl verify FILE

Talks to the transponder of an unmanned aircraft over a serial port, without a
display: reads its status, sets it and checks that the setting took.

Commands:
  status                 ask the fourteen items once and print the nine the
                         panel shows; an emergency code is followed by its
                         meaning
  watch                  repeat status, one line per sequence, until Ctrl+C or
                         SIGTERM; a sequence with unanswered items lists them.
                         Over several ports each line begins "COM<n>: " (a
                         JSON object carries "port"), each port keeps its own
                         interval (a silent or hung one delays no other), and
                         a port that is lost reconnects on its own while the
                         others go on, its loss and its return told on stderr
  set mode standby|a|c   set the operational function
  set code NNNN          set the assigned code (four octal digits); the
                         emergency codes 7500, 7600 and 7700 need --emergency
  set replies on|off     switch interrogation replies on or off
  set offset V           set the voltage offset (a point as the decimal sign,
                         0 or more)
  set encoder gillham|serial
                         choose the altitude encoder
  set volts 14|28        choose the aircraft supply range; prints the voltage
                         the transponder then measures
  spi                    trigger the SPI (ident)
  ping                   fire a ping and print the round-trip time
  send TEXT              send TEXT framed as it is typed (letter=value) and
                         print the first frame with the same letter that comes
                         back, or the first frame of any letter
  check                  the pre-flight check: ask for each item expected
                         (--expect, --expect-file) and print, one line each,
                         what was expected, what was reported and PASS or FAIL;
                         an item without an answer fails as "unanswered", and
                         one answered more than 300 ms after its query went
                         out fails as "late"
  export FILE --csv      write the sequences of a recording made by the panel
                         as CSV: one row a sequence, its time (ISO 8601 with
                         milliseconds), the nine items and the round trip of
                         a ping since the row before, in ms; needs no port.
                         Lines of the recording that do not read are listed
                         on stderr
  verify FILE            follow the hash chain of a recording: say that it
                         holds, with its lines and the head to keep in a
                         logbook, or the first line where it breaks and why

Each setting sends the frame the panel's button sends, then asks for the item
and compares what the transponder answers.

Options:
  --port PORT      COM<n> (1 .. 255) or a device path; required. watch takes
                   it more than once, COM names only, each port once
  --json           status and watch: one JSON object per sequence; check: one
                   JSON object with every item
  --expect ITEM=VALUE
                   check: one expectation; repeat it for more. mode=standby|
                   a|c|c-alt|off (or as the panel shows it: Mode C, C/Alt),
                   code=NNNN, replies=on|off, volts=LOW..HIGH (inclusive),
                   version=TEXT, ping
  --expect-file FILE
                   check: expectations one a line (one file per aircraft),
                   UTF-8 with or without a byte-order mark; blank lines and
                   lines that begin with "#" are skipped
  --aircraft ID    check: the aircraft's identification, for the JSON report
  --operator NAME  check: who ran the check, for the JSON report
  --emergency      set code: allow 7500, 7600 or 7700
  --csv            export: write CSV
  --session N      export: the Nth session of the recording (each start of
                   a recording begins one; default 1)
  --raw            print the transponder's bytes as they come, control bytes
                   included; without it a byte outside printable ASCII shows
                   as the traffic monitor shows it ("<1B>"), so that the line
                   cannot steer the terminal (JSON escapes them either way)
  --timeout MS     how long to wait for each answer (default 300)
  --spacing MS     a pause after each answer, for a slow transponder
                   (default 0)
  --mqtt URL       watch: publish the ports to the broker at URL (mqtt://HOST
                   [:PORT], mqtts://HOST[:PORT]), retained under PREFIX/
                   PUBLISHER/COM<n>/state and .../alarm; polling goes on
                   while the broker is away, which stderr is told in one line
  --mqtt-subscribe URL
                   watch: print the rows other machines publish to the
                   broker at URL, one JSON object a change with "publisher"
                   and "port"; needs no port
  --mqtt-config FILE
                   the broker's further settings, one KEY=VALUE a line: ca=,
                   cert=, key= (mqtts://), user=, password-file=, prefix=
                   (default uavcontrol); held to the rules of a port entry
  --interval S     watch: seconds from the end of one sequence to the next
                   (default 1); over several ports, from the start of one
                   sequence of a port to the next, one still running when
                   the next is due letting it pass
  -h, --help       print this text and exit
  --version        print the version and exit

COM<n> is the entry of that name in the port directory, $UAVCONTROL_PORTS if
set, else ${XDG_CONFIG_HOME:-~/.config}/uavcontrol/ports; without one, COM1 ..
COM9 are /dev/ttyS0 .. /dev/ttyS8.

Data goes to stdout, diagnostics to stderr.

Exit status:
  0  ok
  2  bad usage or bad input (export: a recording that cannot be read, or
     holds no such session; watch: broker settings that are refused)
  3  the port could not be opened, or failed; watch over several ports: none
     could be opened at the start
  4  an item went unanswered
  5  a setting read back differs from the one sent
  6  check failed: an item failed or went unanswered
  7  verify: the chain breaks, or the recording carries none
)";
}

} // namespace xpdrctl
