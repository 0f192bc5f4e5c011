#pragma once

#include <string>

namespace platform {

// The folder that maps COM names to devices: $UAVCONTROL_PORTS when set, else
// ${XDG_CONFIG_HOME:-~/.config}/uavcontrol/ports. Empty when neither can be formed.
std::string portDirectory();

// The device path for a COM name: the entry of that name in portDirectory() (a
// link to the device, or the device itself), else /dev/ttyS0../dev/ttyS8 for
// COM1..COM9. Anything else names no device: the result is empty.
std::string resolvePortName(const std::string& comName);

} // namespace platform
