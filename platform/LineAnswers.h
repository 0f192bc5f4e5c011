#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace platform {

// The line an RFC 2217 server was asked to set, and the values it answered
// that it has set. Each kind of request is counted while unanswered, so a late
// answer to an earlier request is never taken for the answer to the latest.
// Not locked: the device that owns it guards it.
class LineAnswers {
public:
    enum Item : std::uint8_t { Baud, DataSize, Parity, StopSize, Flow, ItemCount };

    // A request for `value` (in RFC 2217's codes) goes out.
    void asked(Item item, std::uint32_t value);
    // Its answer; a request that failed counts as answered with 0.
    void answered(Item item, std::uint32_t value);

    // True once every request is answered.
    bool complete() const;
    // What the server set differently from what we asked, in words ("115200
    // bit/s instead of 9600 bit/s"); empty when it took everything.
    std::string refusals() const;

private:
    struct Request {
        std::uint32_t asked = 0;
        std::uint32_t answered = 0;
        int outstanding = 0;
        bool sent = false;
    };

    std::array<Request, ItemCount> requests_ {};
};

} // namespace platform
