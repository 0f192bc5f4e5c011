#include "platform/PortNames.h"

#include "platform/PortDirectoryOnly.h"

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

std::string environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

// "COM" followed by a decimal number without leading zeros, as "COM%d" forms it;
// returns that number, or -1.
int comNumber(const std::string& name)
{
    if (name.size() < 4 || name.compare(0, 3, "COM") != 0) return -1;
    const std::string digits = name.substr(3);
    if (digits.size() > 3 || (digits.size() > 1 && digits[0] == '0')) return -1;
    int number = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return -1;
        number = number * 10 + (c - '0');
    }
    return number;
}

} // namespace

std::optional<int> comPortNumber(const std::string& name)
{
    const int number = comNumber(name);
    if (number < 1 || number > 255) return std::nullopt;
    return number;
}

std::string portDirectory()
{
    const std::string ports = environment("UAVCONTROL_PORTS");
    if (!ports.empty()) return ports;
    std::string config = environment("XDG_CONFIG_HOME");
    if (config.empty()) {
        const std::string home = environment("HOME");
        if (home.empty()) return {};
        config = home + "/.config";
    }
    return config + "/uavcontrol/ports";
}

std::string resolvePortName(const std::string& comName)
{
    const int number = comNumber(comName);
    if (number < 0) return {};
    const std::string directory = portDirectory();
    if (!directory.empty()) {
        // lstat, so that a link whose device is gone still counts as the mapping
        // and fails to open as a missing device, rather than falling back.
        const std::string entry = directory + "/" + comName;
        struct stat info {};
        if (::lstat(entry.c_str(), &info) == 0) return entry;
    }
    if (number >= 1 && number <= 9 && !PortDirectoryOnly::active()) return "/dev/ttyS" + std::to_string(number - 1);
    return {};
}

std::string linkTarget(const std::string& path)
{
    char buffer[PATH_MAX];
    const ssize_t length = ::readlink(path.c_str(), buffer, sizeof buffer - 1);
    if (length < 0) return {};
    std::string target(buffer, static_cast<std::size_t>(length));
    if (!target.empty() && target[0] != '/') {
        const std::size_t slash = path.rfind('/');
        const std::string folder = slash == std::string::npos ? std::string(".") : path.substr(0, slash);
        target = std::filesystem::path(folder + "/" + target).lexically_normal().string();
    }
    return target;
}

std::string nearestExistingFolder(const std::string& path)
{
    std::filesystem::path folder = std::filesystem::path(path).lexically_normal().parent_path();
    std::error_code error;
    while (!folder.empty() && folder != folder.root_path() && !std::filesystem::is_directory(folder, error))
        folder = folder.parent_path();
    return folder.empty() ? std::string(".") : folder.string();
}

PortPath tracePortName(const std::string& comName)
{
    PortPath path;
    path.entry = resolvePortName(comName);
    if (path.entry.empty()) return path;
    path.target = linkTarget(path.entry);
    char real[PATH_MAX];
    if (::realpath(path.entry.c_str(), real)) path.device = real;
    return path;
}

bool isNetworkEntry(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

} // namespace platform
