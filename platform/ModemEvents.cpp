#include "platform/ModemEvents.h"

#include "platform/SerialDevice.h"

#include <sys/ioctl.h>

namespace platform {

bool ModemEvents::start(ModemLines& lines)
{
    source_ = Source::None;
    if (lines.counters(counters_) == 0) source_ = Source::Counters;
    else if (lines.states(states_) == 0) source_ = Source::States;
    return source_ != Source::None;
}

std::uint32_t ModemEvents::changes(ModemLines& lines)
{
    std::uint32_t events = 0;
    if (source_ == Source::Counters) {
        serial_icounter_struct now {};
        if (lines.counters(now) != 0) return 0;
        if (now.cts != counters_.cts) events |= EvCts;
        if (now.dsr != counters_.dsr) events |= EvDsr;
        if (now.dcd != counters_.dcd) events |= EvRlsd;
        if (now.rng != counters_.rng) events |= EvRing;
        if (now.brk != counters_.brk) events |= EvBreak;
        counters_ = now;
    } else if (source_ == Source::States) {
        // Without counters a break cannot be seen, and only a ring that starts.
        int now = 0;
        if (lines.states(now) != 0) return 0;
        const int changed = now ^ states_;
        if (changed & TIOCM_CTS) events |= EvCts;
        if (changed & TIOCM_DSR) events |= EvDsr;
        if (changed & TIOCM_CD) events |= EvRlsd;
        if ((changed & TIOCM_RI) && (now & TIOCM_RI)) events |= EvRing;
        states_ = now;
    }
    return events;
}

} // namespace platform
