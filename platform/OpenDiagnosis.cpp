#include "platform/OpenDiagnosis.h"

#include "platform/NetworkAddress.h"
#include "platform/NetworkFailures.h"
#include "platform/PortNames.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

const std::string Arrow = "\u2192";

// The mode as ls shows it: "crw-rw----".
std::string modeText(mode_t mode)
{
    std::string text = S_ISCHR(mode) ? "c" : S_ISDIR(mode) ? "d" : S_ISLNK(mode) ? "l" : "-";
    const char* letters = "rwxrwxrwx";
    for (int bit = 0; bit < 9; ++bit) text += (mode & (0400 >> bit)) ? letters[bit] : '-';
    return text;
}

std::string groupName(gid_t gid)
{
    std::vector<char> buffer(4096);
    group entry {};
    group* found = nullptr;
    if (::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) == 0 && found) return found->gr_name;
    return std::to_string(gid);
}

std::string commandOf(int pid)
{
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string command;
    std::getline(comm, command);
    return command.empty() ? "?" : command;
}

std::string holdersText(const std::vector<DeviceHolder>& holders)
{
    std::string text;
    for (const DeviceHolder& holder : holders) {
        if (!text.empty()) text += ", ";
        text += holder.command + " (pid " + std::to_string(holder.pid) + ")";
    }
    return text;
}

// "COM3 → /dev/ttyUSB0: permission denied", or just the reason where the device
// is named already.
std::string line(const std::string& head, const std::string& reason)
{
    return head.empty() ? reason : head + ": " + reason;
}

OpenDiagnosis permissionDenied(const std::string& head, const std::string& device)
{
    OpenDiagnosis d;
    d.error = EACCES;
    struct stat info {};
    if (::stat(device.c_str(), &info) != 0) {
        d.summary = line(head, "permission denied");
        d.detail = line(device, "permission denied.");
        return d;
    }
    const std::string group = groupName(info.st_gid);
    const std::string mode = modeText(info.st_mode);
    if ((info.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP)) {
        const std::string fix = "sudo usermod -aG " + group + " $USER, then log in again";
        d.summary = line(head, "permission denied; " + fix);
        d.detail = line(head.empty() ? device : head, "permission denied.\n") + device + " belongs to the group " + group + " (" + mode
            + "), which may read and write it.\nJoin that group: " + fix + ".";
    } else {
        d.summary = line(head, "permission denied; its mode " + mode + " gives the group " + group + " no access");
        d.detail = line(head.empty() ? device : head, "permission denied.\n") + device + " (" + mode + ", group " + group
            + ") gives its group no read and write access, so joining " + group
            + " would not help.\nAsk the administrator for read and write access, for example through a udev "
              "rule with GROUP=\"dialout\", MODE=\"0660\".";
    }
    return d;
}

OpenDiagnosis busy(const std::string& head, const std::string& device)
{
    OpenDiagnosis d;
    d.error = EBUSY;
    const auto holders = deviceHolders(device);
    if (holders.empty()) {
        d.summary = head + ": busy, held by a process that cannot be seen from here";
        d.detail = head + ": device or resource busy.\nAnother program has " + device
            + " open (one of another user, whose descriptors only root can see). Close it, or use another port.";
    } else {
        d.summary = line(head, "busy, held by " + holdersText(holders));
        d.detail = line(head.empty() ? device : head, "device or resource busy.\n") + device + " is held by " + holdersText(holders)
            + ". Close that program, or use another port.";
    }
    return d;
}

// A network port: the entry names a server, not a device.
OpenDiagnosis networkFailure(const std::string& comName, const std::string& entry, int error)
{
    OpenDiagnosis d;
    d.error = error;
    NetworkAddress address;
    std::string malformed;
    const bool readable = readNetworkEntry(entry, address, malformed) == 0;
    const std::string head = readable ? comName + " " + Arrow + " " + address.url() : comName;
    std::string said = recalledNetworkFailure(comName, error);
    if (said.empty() && !readable) said = malformed;
    if (said.empty() && error == ECONNREFUSED) said = "nothing listens at " + address.hostPort();
    if (said.empty()) said = systemText(error);
    std::string hint;
    switch (error) {
    case EINVAL:
        hint = "An entry's first line is tcp://HOST:PORT or rfc2217://HOST:PORT, with +tls after the scheme for "
               "TLS and then lines ca=, cert=, key= or servername=.";
        break;
    case ECONNREFUSED:
        hint = "Is ser2net running on " + address.host + ", with an accepter on port " + std::to_string(address.port) + "?";
        break;
    case ETIMEDOUT:
        // A server that connected but never spoke Telnet has its own words.
        if (said.find("Telnet") != std::string::npos) break;
        hint = "Is " + address.host + " on and reachable, and does a firewall let port " + std::to_string(address.port)
            + " through?";
        break;
    case EHOSTUNREACH:
        hint = "Check the host's name in " + entry + ", or write its address there instead.";
        break;
    default:
        break;
    }
    d.summary = head + ": " + said;
    d.detail = comName + " is a network port: " + (readable ? "its entry " + entry + " names " + address.url()
                                                            : "its entry is " + entry)
        + ".\n" + said + "." + (hint.empty() ? std::string() : "\n" + hint);
    return d;
}

// "COM3 → /dev/ttyUSB0", or just "COM3" when it leads nowhere.
std::string portHead(const std::string& comName, const PortPath& path)
{
    const std::string& shown = !path.device.empty() ? path.device : path.target;
    return shown.empty() ? comName : comName + " " + Arrow + " " + shown;
}

} // namespace

std::string systemText(int error)
{
    char buffer[256];
    return ::strerror_r(error, buffer, sizeof buffer);
}

OpenDiagnosis diagnoseOpenFailure(const std::string& comName, int error)
{
    const PortPath path = tracePortName(comName);
    if (!path.entry.empty() && isNetworkEntry(path.entry)) return networkFailure(comName, path.entry, error);
    const std::string head = portHead(comName, path);
    switch (error) {
    case EACCES:
    case EPERM:
        return permissionDenied(head, path.device.empty() ? path.entry : path.device);
    case EBUSY:
        return busy(head, path.device.empty() ? path.entry : path.device);
    case ENOENT:
    case ENODEV:
    case ENXIO: {
        OpenDiagnosis d;
        d.error = error;
        const std::string directory = portDirectory();
        const std::string mapHint = "Setup " + Arrow + " Ports\u2026 maps a number";
        if (path.entry.empty()) {
            d.summary = comName + ": not in the port directory; " + mapHint;
            d.detail = comName + " has no entry in the port directory " + directory + ", and only COM1 to COM9 "
                + "stand for /dev/ttyS0 to /dev/ttyS8 without one.\n" + mapHint + " to a device.";
        } else {
            const std::string missing = path.target.empty() ? path.entry : path.target;
            d.summary = comName + " " + Arrow + " " + missing + ": no such device; " + mapHint;
            d.detail = comName + " led to " + missing + ", which does not exist (is the adapter plugged in?).\n"
                + "The port directory is " + directory + ".\n" + mapHint + " to a device that is there.";
        }
        return d;
    }
    default: {
        OpenDiagnosis d;
        d.error = error;
        d.summary = head + ": " + systemText(error);
        d.detail = d.summary + ".";
        return d;
    }
    }
}

OpenDiagnosis predictOpenFailure(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        OpenDiagnosis d;
        d.error = errno;
        d.summary = systemText(errno);
        d.detail = line(path, d.summary + ".");
        return d;
    }
    char real[PATH_MAX];
    const std::string device = ::realpath(path.c_str(), real) ? std::string(real) : path;
    if (::access(path.c_str(), R_OK | W_OK) != 0 && (errno == EACCES || errno == EPERM))
        return permissionDenied({}, device);
    if (!deviceHolders(path).empty()) return busy({}, device);
    return {};
}

std::vector<DeviceHolder> deviceHolders(const std::string& path)
{
    std::vector<DeviceHolder> holders;
    struct stat target {};
    if (::stat(path.c_str(), &target) != 0) return holders;
    DIR* proc = ::opendir("/proc");
    if (!proc) return holders;
    while (const dirent* process = ::readdir(proc)) {
        char* end = nullptr;
        const long pid = std::strtol(process->d_name, &end, 10);
        if (*end != '\0' || pid <= 0) continue;
        const std::string fds = std::string("/proc/") + process->d_name + "/fd";
        DIR* dir = ::opendir(fds.c_str());
        if (!dir) continue;
        while (const dirent* fd = ::readdir(dir)) {
            if (fd->d_name[0] == '.') continue;
            struct stat info {};
            if (::stat((fds + "/" + fd->d_name).c_str(), &info) != 0) continue;
            const bool same = S_ISCHR(target.st_mode) ? S_ISCHR(info.st_mode) && info.st_rdev == target.st_rdev
                                                      : info.st_dev == target.st_dev && info.st_ino == target.st_ino;
            if (!same) continue;
            holders.push_back({static_cast<int>(pid), commandOf(static_cast<int>(pid))});
            break;
        }
        ::closedir(dir);
    }
    ::closedir(proc);
    return holders;
}

} // namespace platform
