#pragma once

#include "platform/ThreadScope.h"

namespace platform {

// While an object of this class lives, resolvePortName() on this thread leaves
// the built-in devices out: a COM name without an entry in the port directory
// names no device. For quiet attempts to reopen a port whose entry may vanish at
// any moment, which must not land on /dev/ttyS0, the system console, instead.
class PortDirectoryOnly : public ThreadScope<PortDirectoryOnly> {};

} // namespace platform
