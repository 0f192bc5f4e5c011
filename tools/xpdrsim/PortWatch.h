#pragma once

#include <functional>
#include <string>

namespace xpdrsim {

// Tells whether some program (the panel) has the device open, by watching the
// device node for opens and closes.
//
// On a real line, what a transponder sends while no port is open is simply lost.
// On a pseudo-terminal it would pile up for the next reader, and a panel that
// connects after a minute would first decode a minute of stale reports. So
// frames go out only while someone has the port open.
//
// Our own descriptor of the device is opened before the watch starts and is not
// counted. Where the watch cannot be set up, or its queue overflowed and the
// count is lost, the port counts as open: frames then always go out.
class PortWatch {
public:
    explicit PortWatch(const std::string& devicePath);
    ~PortWatch();
    PortWatch(const PortWatch&) = delete;
    PortWatch& operator=(const PortWatch&) = delete;

    // A descriptor to poll for readability; -1 when there is nothing to watch.
    int fd() const { return fd_; }

    // Reads what happened since the last call and calls `changed` at each moment
    // the port was opened or closed, in order: a close and a reopen that arrive
    // together are still two changes, so a reconnecting panel gets a fresh line.
    void update(const std::function<void()>& changed);

    bool open() const { return !watching_ || openers_ > 0; }

private:
    int fd_ = -1;
    bool watching_ = false;
    int openers_ = 0;
};

} // namespace xpdrsim
