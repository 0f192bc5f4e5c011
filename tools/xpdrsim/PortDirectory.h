#pragma once

#include <filesystem>

namespace xpdrsim {

// Where the panel looks up COM<n>: $UAVCONTROL_PORTS if set, else
// ${XDG_CONFIG_HOME:-~/.config}/uavcontrol/ports.
std::filesystem::path portDirectory();

} // namespace xpdrsim
