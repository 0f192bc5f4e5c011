#include "tools/xpdrsim/PortDirectory.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace xpdrsim {

namespace {

std::filesystem::path homeDirectory()
{
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir) return entry->pw_dir;
    return "/";
}

} // namespace

std::filesystem::path portDirectory()
{
    if (const char* ports = std::getenv("UAVCONTROL_PORTS"); ports && *ports) return ports;
    std::filesystem::path config;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
        config = xdg;
    else
        config = homeDirectory() / ".config";
    return config / "uavcontrol" / "ports";
}

} // namespace xpdrsim
