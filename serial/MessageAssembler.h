#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Cuts a byte stream into messages framed by a start and an end character,
// optionally followed by a fixed number of trailing bytes (a checksum, say).
//
// Bytes outside a message are dropped. A start character inside an unfinished
// message starts it afresh; once the end character is in, the trailing bytes are
// taken whatever they are. A message that grows to MaxMessage bytes without being
// finished is dropped, and assembly waits for the next start character, so a
// line that never brings an end character cannot exhaust memory.
//
// Every byte is either part of a completed message, dropped, or still part of the
// message being assembled: a caller that collects the dropped bytes, and hands
// them on before each completed message, sees the whole stream in order.
//
// No device and no Qt here: the serial component and the simulated transponder
// share it.
class MessageAssembler {
public:
    enum class State : std::uint8_t { Idle, Collecting, Appending, Complete };

    struct Settings {
        char startChar = '\x02';
        char endChar = '\x03';
        std::uint16_t appendCount = 0;
    };

    static constexpr std::size_t MaxMessage = 4096;

    // Feeds one byte; returns true when it completed a message, which message()
    // then holds (start character .. end character .. trailing bytes). Bytes the
    // assembler drops with this one (the byte itself, or an unfinished message
    // that it restarts or that reached the cap) are appended to `dropped` when
    // one is given.
    bool push(char byte, const Settings& settings, std::string* dropped = nullptr);

    // The message being assembled, or the last one completed until the next start
    // character replaces it.
    const std::string& message() const { return message_; }
    State state() const { return state_; }

private:
    bool complete();
    void dropIfFull(std::string* dropped);

    State state_ = State::Idle;
    std::uint16_t appendLeft_ = 0;
    std::string message_;
};
