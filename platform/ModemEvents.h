#pragma once

#include "platform/ModemLines.h"

#include <cstdint>

namespace platform {

// Turns what the modem lines of a terminal did into events (EventFlag bits):
// from the kernel's interrupt counters where the driver keeps them, which also
// catch a pulse between two looks, otherwise from the line states. Only the
// port's wait uses it.
class ModemEvents {
public:
    // Takes the lines as they are now as the starting point. False when the
    // device has neither counters nor line states (a pseudo-terminal).
    bool start(ModemLines& lines);
    // The events since the last look.
    std::uint32_t changes(ModemLines& lines);

private:
    enum class Source : std::uint8_t { None, Counters, States };

    Source source_ = Source::None;
    serial_icounter_struct counters_ {};
    int states_ = 0;
};

} // namespace platform
