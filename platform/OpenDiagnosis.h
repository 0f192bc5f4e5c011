#pragma once

#include <string>
#include <vector>

namespace platform {

// Why a port cannot be opened, in words that say how to fix it: a line for a
// status bar and the whole story for a tooltip or a terminal.
struct OpenDiagnosis {
    int error = 0;        // the errno value explained; 0 when nothing stands in the way
    std::string summary;  // one line
    std::string detail;   // several lines
};

// A process that has a device open, as /proc/<pid>/fd shows it.
struct DeviceHolder {
    int pid = 0;
    std::string command;
};

// The system's words for `error` (an errno value), from any thread.
std::string systemText(int error);

// Explains the failure `error` (an errno value) of opening the port `comName`
// ("COM3"). Permission denied names the group that owns the device and how to
// join it; a missing device names the path the port led to and the port
// directory; a busy device names the processes that hold it, where they can be
// seen. A network port names its entry and its address, with what the opening
// saw (the wrong line of the entry, the resolver's text, the server's words)
// and what to check. Other errors get their system text.
OpenDiagnosis diagnoseOpenFailure(const std::string& comName, int error);

// What would stand in the way of opening the device at `path`, seen without
// opening it (opening a serial device raises its modem lines): a missing device,
// no read and write permission, or another process holding it. Error 0 when
// nothing can be seen. The summary leaves out the device, which the caller
// shows already.
OpenDiagnosis predictOpenFailure(const std::string& path);

// The processes that hold the device at `path` open: every /proc/<pid>/fd entry
// that leads to the same device. Processes of other users can be looked at by
// root only.
std::vector<DeviceHolder> deviceHolders(const std::string& path);

} // namespace platform
