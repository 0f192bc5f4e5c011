#include "tools/xpdrsim/Options.h"

#include "framework/CommandLineOption.h"
#include "platform/PortNames.h"

namespace xpdrsim {

namespace {

constexpr double MaxReportsPerSecond = 100;
// Slower than one report a quarter of an hour is no use, and a period that long
// still fits the timer arithmetic.
constexpr double MinReportsPerSecond = 0.001;
constexpr long long MaxDelayMs = 60000;
constexpr double MinSpeed = 0.01;
constexpr double MaxSpeed = 1000;

} // namespace

ParsedOptions parseOptions(const std::vector<std::string>& args)
{
    ParsedOptions result;
    Options& options = result.options;
    bool rate = false;
    std::string replayOnly; // an option that goes only with --replay, if given
    for (std::size_t i = 0; i < args.size(); ++i) {
        const auto option = fw::readOption(
            args, i, {"--link", "--delay", "--drop", "--rate", "--seed", "--replay", "--speed", "--session"},
            {"--silent", "--noise", "--log", "--loop", "--from-start", "--help", "-h", "--version"}, result.error);
        if (!option) return result;
        const std::string& name = option->name;
        const std::string& value = option->value;
        const auto bad = [&](const std::string& expected) {
            result.error = option->notA(expected);
            return result;
        };
        if (name == "--link") {
            options.comPort = platform::comPortNumber(value);
            if (!options.comPort) return bad("a port name COM1 .. COM255");
        } else if (name == "--delay") {
            const auto ms = fw::parseNumber<long long>(value);
            if (!ms || *ms < 0 || *ms > MaxDelayMs) return bad("a delay of 0 .. 60000 ms");
            options.line.delay = Millis(*ms);
        } else if (name == "--drop") {
            const auto share = fw::parseNumber<double>(value);
            if (!share || !(*share >= 0 && *share <= 1)) return bad("a share from 0 to 1");
            options.line.drop = *share;
        } else if (name == "--rate") {
            const auto perSecond = fw::parseNumber<double>(value);
            if (!perSecond ||
                !(*perSecond == 0 || (*perSecond >= MinReportsPerSecond && *perSecond <= MaxReportsPerSecond)))
                return bad("a rate of 0, or 0.001 .. 100 per second");
            options.reportsPerSecond = *perSecond;
            rate = true;
        } else if (name == "--seed") {
            const auto seed = fw::parseNumber<std::uint32_t>(value);
            if (!seed) return bad("a number from 0 to 4294967295");
            options.line.seed = *seed;
        } else if (name == "--replay") {
            options.replay = value;
        } else if (name == "--speed") {
            const auto speed = fw::parseNumber<double>(value);
            if (!speed || !(*speed >= MinSpeed && *speed <= MaxSpeed)) return bad("a speed of 0.01 .. 1000");
            options.speed = *speed;
            replayOnly = name;
        } else if (name == "--session") {
            const auto session = fw::parseNumber<int>(value);
            if (!session || *session < 1) return bad("a session number from 1");
            options.session = *session;
            replayOnly = name;
        } else if (name == "--loop") {
            options.loop = true;
            replayOnly = name;
        } else if (name == "--from-start") {
            options.fromStart = true;
            replayOnly = name;
        } else if (name == "--silent") {
            options.line.silent = true;
        } else if (name == "--noise") {
            options.line.noise = true;
        } else if (name == "--log") {
            options.log = true;
        } else if (name == "--version") {
            options.version = true;
        } else {
            options.help = true;
        }
    }
    if (!options.replay && !replayOnly.empty()) result.error = replayOnly + " goes with --replay";
    // The recording says when the transponder reported on its own.
    if (options.replay && rate) result.error = "--rate does not go with --replay";
    return result;
}

std::string helpText()
{
    return R"(Usage: xpdrsim [options]
       xpdrsim --replay FILE [--speed X] [--loop] [--session N] [--from-start]
               [options]

Plays a transponder on a pseudo-terminal, for demos, training and tests of the
control panel. Every query (letter "=?") is answered with the item's value, every
setting is applied and answered with the new value (a refused one with the value
kept), "p=y" is answered "p=Y", and while interrogation replies are on it sends
"*" interrogation reports on its own.

Options:
  --link COM<n>  put the link COM<n> to the pseudo-terminal into the port
                 directory ($UAVCONTROL_PORTS, else
                 ${XDG_CONFIG_HOME:-~/.config}/uavcontrol/ports; created if
                 needed) and remove it on exit; without it the device path is
                 printed, to map by hand
  --delay MS     wait MS milliseconds (0 .. 60000) before each reply
  --silent       answer nothing and report nothing (the panel's link watchdog
                 then blanks its display)
  --drop P       lose a share P (0 .. 1) of the frames going out, at random
  --noise        put junk bytes in front of some frames
  --rate N       interrogation reports per second (0.001 .. 100, fractions
                 allowed; 0 = none); default 1
  --seed N       seed for --drop and --noise, to repeat a run; default 1
  --log          every frame in and out on stderr, with a millisecond time stamp
                 and direction; control bytes shown as <STX>, <ETX>, <0x1f>
  --replay FILE  play the transponder of a recording made by the panel instead
                 of the simulated one (see Replay below)
  --speed X      replay at X times the recording's pace (0.01 .. 1000);
                 default 1
  --loop         at the end of the recording, play it again from the start
                 instead of stopping (a session of 1 s or more)
  --session N    replay the Nth session of the recording (each start of a
                 recording begins one); default 1
  --from-start   start the recording's clock with the program, not at the
                 first question received
  -h, --help     this text
  --version      print the version and exit

At start one line names the device, e.g. "xpdrsim: COM1 -> /dev/pts/3", on
stdout. Ctrl+C (SIGINT), SIGTERM or SIGHUP end it and remove the link.

Replay:
  Replay time t is recording time t x X from the session's start; the replay's
  clock starts at the first question received (the panel's Connect), or with
  the program under --from-start. A query is answered with the last reply to
  that letter recorded at or before that point, the noise before it included,
  as late as the recorded reply came after its query (divided by X); where the
  recorded query at that point went unanswered, the replay stays silent. A
  setting is logged on stderr and
  answered as the recording answered the same setting, if it has one;
  otherwise it is not answered. Frames the transponder sent on its own
  (interrogation reports) go out at their recorded times. At the end the
  replay stops, or starts again with --loop, saying so on stderr. Lines of the
  recording that do not read are listed on stderr at the start.

Items and start values:
  s  operational function  t Standby (set t, a, c, l Mode C/Alt, f Off)
  c  code                  1200 (set four octal digits)
  i  SPI                   0; "i=s" makes it 1 for 18 s
  v  supply voltage        27.9 on the 28 V range ("v=2"), 13.8 on 14 V ("v=1")
  f  voltage offset        1.2 (set 0 .. 10 V, kept to 0.1 V)
  r  interrogation replies Y (set y or n; answered Y or N)
  d  encoder source        g Gillham (set g, or s for serial)
  a  altitude              climbs 25 ft every 3 s from 1000 to 10000, then from
                           1000 again; with "d=s" the value of the last "a=" frame
  z  firmware version      2.14
  e  fault code            0 (none)
  l  interrogations replied since start
  n  serial number         04172
  o  operating hours
  u  seconds since start
)";
}

} // namespace xpdrsim
