#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// Undoes the kernel's parity marking (PARMRK): a byte received with a parity or
// framing error arrives as 0xFF 0x00 <byte>, a break as 0xFF 0x00 0x00, and a
// genuine 0xFF as 0xFF 0xFF. We deliver every byte as it was received, so the
// markers are stripped and the byte kept. A marker may be split across two
// reads; the decoder carries the partial marker over to the next call.
class ParityMarkDecoder {
public:
    // Appends the decoded bytes of `data` to `out`.
    void decode(const char* data, std::size_t size, std::string& out);
    void reset() { state_ = State::Plain; }

private:
    enum class State : std::uint8_t { Plain, Escape, Marked };
    State state_ = State::Plain;
};

} // namespace platform
