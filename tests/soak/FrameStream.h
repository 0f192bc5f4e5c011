#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>

// Numbered frames whose contents follow from their number alone, so that a
// receiver can tell a lost, repeated, reordered or damaged frame without
// keeping what was sent. Frame n is STX "F=" n (8 hex digits) ":" payload ETX;
// the payload (0..47 bytes) may hold any byte but the start and end characters,
// zero and 0xFF included.
std::string numberedFrame(std::uint64_t number);

// The sending side: frames 0, 1, 2 ... each followed by junk (0..24 bytes of
// anything but the start character, end characters included), cut into writes
// of random size.
class FrameSource {
public:
    explicit FrameSource(std::uint64_t seed)
        : random_(seed)
    {
    }

    // Fills `out` with the next write: 1..MaxWrite bytes of the stream.
    void nextWrite(std::string& out);
    // Frames begun so far (the last one may be cut between two writes).
    std::uint64_t framesBegun() const { return next_; }

    static constexpr std::size_t MaxWrite = 700;

private:
    void refill();

    std::mt19937_64 random_;
    std::uint64_t next_ = 0;
    std::string pending_;
};

// The receiving side: expects frames 0, 1, 2 ... in order, each whole.
class FrameChecker {
public:
    void take(const std::string& message);
    // A new stream begins with frame 0.
    void restart() { expected_ = 0; }

    std::uint64_t good() const { return good_; }
    std::uint64_t bad() const { return bad_; }
    std::uint64_t expected() const { return expected_; }
    // The first message that was not the frame expected, and what was expected.
    const std::string& firstBad() const { return firstBad_; }

private:
    std::uint64_t expected_ = 0;
    std::uint64_t good_ = 0;
    std::uint64_t bad_ = 0;
    std::string firstBad_;
};

// Bytes as C escapes, for a readable failure message.
std::string printable(const std::string& bytes);
