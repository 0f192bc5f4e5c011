#include "platform/ParityMarkDecoder.h"

namespace platform {

void ParityMarkDecoder::decode(const char* data, std::size_t size, std::string& out)
{
    constexpr char escape = '\xFF';
    for (std::size_t i = 0; i < size; ++i) {
        const char byte = data[i];
        switch (state_) {
        case State::Plain:
            if (byte == escape) state_ = State::Escape;
            else out.push_back(byte);
            break;
        case State::Escape:
            if (byte == '\0') {
                state_ = State::Marked;
            } else {
                // 0xFF 0xFF is a received 0xFF. Anything else after 0xFF is not a
                // marker the kernel writes; keep both bytes rather than lose one.
                if (byte != escape) out.push_back(escape);
                out.push_back(byte);
                state_ = State::Plain;
            }
            break;
        case State::Marked:
            out.push_back(byte);
            state_ = State::Plain;
            break;
        }
    }
}

} // namespace platform
