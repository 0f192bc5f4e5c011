#pragma once

namespace platform {

// While an object of this class lives, resolvePortName() on this thread leaves
// the built-in devices out: a COM name without an entry in the port directory
// names no device. For quiet attempts to reopen a port whose entry may vanish at
// any moment, which must not land on /dev/ttyS0, the system console, instead.
class PortDirectoryOnly {
public:
    PortDirectoryOnly();
    ~PortDirectoryOnly();
    PortDirectoryOnly(const PortDirectoryOnly&) = delete;
    PortDirectoryOnly& operator=(const PortDirectoryOnly&) = delete;

    // True while one lives on this thread.
    static bool active();

private:
    bool previous_;
};

} // namespace platform
