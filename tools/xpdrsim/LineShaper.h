#pragma once

#include "tools/xpdrsim/Transponder.h"

#include <cstdint>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace xpdrsim {

// How the line to the panel misbehaves on purpose.
struct LineOptions {
    Millis delay{0};        // before each reply
    bool silent = false;    // nothing goes out at all
    double drop = 0.0;      // share of frames lost, 0 .. 1
    bool noise = false;     // junk bytes in front of frames
    std::uint32_t seed = 1; // for loss and noise, so a run can be repeated
};

// What happens to frames on their way out: replies wait for the reply delay,
// reports go at once; a share of both is lost, and with noise some frames get
// junk bytes in front of them.
//
// Junk never holds an ETX: with the frame's own STX right behind it, the panel
// drops the junk (or restarts on the frame's STX when the junk held one), so the
// noise exercises its assembly without faking frames.
class LineShaper {
public:
    enum class Kind { Reply, Report };

    struct Outgoing {
        std::string bytes; // junk, if any, then the frame
        std::string frame;
    };

    explicit LineShaper(const LineOptions& options);

    // Queues a frame; false when it is lost instead (silent line or dropped).
    bool send(std::string frame, Kind kind, Millis now);

    // When the next queued frame is due, if any is queued.
    std::optional<Millis> nextDue() const;

    // The frames due by `now`, in the order they are due (equal times: as queued).
    std::vector<Outgoing> takeDue(Millis now);

    // Forgets every queued frame: nobody is there to receive them.
    void clear() { queue_.clear(); }

private:
    std::string junk();

    LineOptions options_;
    std::mt19937 random_;
    std::multimap<Millis, std::string> queue_;
};

} // namespace xpdrsim
