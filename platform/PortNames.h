#pragma once

#include <optional>
#include <string>

namespace platform {

// The folder that maps COM names to devices: $UAVCONTROL_PORTS when set, else
// ${XDG_CONFIG_HOME:-~/.config}/uavcontrol/ports. Empty when neither can be formed.
std::string portDirectory();

// The number of a port name COM1 .. COM255, the ports the serial component can
// name (its port number is a byte); nothing for any other name.
std::optional<int> comPortNumber(const std::string& name);

// The device path for a COM name: the entry of that name in portDirectory() (a
// link to the device, or the device itself), else /dev/ttyS0../dev/ttyS8 for
// COM1..COM9 (not while a PortDirectoryOnly lives on this thread). Anything else
// names no device: the result is empty.
std::string resolvePortName(const std::string& comName);

// Where a COM name leads.
struct PortPath {
    std::string entry;  // as resolvePortName() gives it; empty when the name leads nowhere
    std::string target; // where the entry links to, made absolute; empty when it is no link
    std::string device; // what is at the end of every link; empty when nothing is
};
PortPath tracePortName(const std::string& comName);

// The path a symbolic link points to, made absolute against the link's folder;
// empty when `path` is no link.
std::string linkTarget(const std::string& path);

// True when `path` (an entry resolvePortName gave) is a plain file rather than
// a device: a network port, whose file holds its address.
bool isNetworkEntry(const std::string& path);

// The folder that holds `path` if it exists, else the nearest existing folder
// above it: the one to watch for `path` to appear.
std::string nearestExistingFolder(const std::string& path);

} // namespace platform
