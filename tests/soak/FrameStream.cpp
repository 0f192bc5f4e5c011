#include "FrameStream.h"

#include <cstdio>

namespace {

constexpr char Stx = '\x02';
constexpr char Etx = '\x03';

std::uint64_t mix(std::uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

} // namespace

std::string numberedFrame(std::uint64_t number)
{
    char head[16];
    std::snprintf(head, sizeof head, "F=%08llx:", static_cast<unsigned long long>(number & 0xFFFFFFFFull));
    std::string frame(1, Stx);
    frame += head;
    std::uint64_t h = mix(number);
    const std::size_t length = h % 48;
    for (std::size_t i = 0; i < length; ++i) {
        if (i % 8 == 0) h = mix(h);
        char byte = static_cast<char>(h >> (8 * (i % 8)));
        if (byte == Stx || byte == Etx) byte ^= 0x40;
        frame.push_back(byte);
    }
    frame.push_back(Etx);
    return frame;
}

void FrameSource::refill()
{
    pending_ += numberedFrame(next_++);
    const std::size_t junk = random_() % 25;
    for (std::size_t i = 0; i < junk; ++i) {
        char byte = static_cast<char>(random_());
        if (byte == Stx) byte = Etx;
        pending_.push_back(byte);
    }
}

void FrameSource::nextWrite(std::string& out)
{
    const std::size_t size = 1 + random_() % MaxWrite;
    while (pending_.size() < size) refill();
    out.assign(pending_, 0, size);
    pending_.erase(0, size);
}

void FrameChecker::take(const std::string& message)
{
    if (message == numberedFrame(expected_)) {
        ++good_;
        ++expected_;
        return;
    }
    if (bad_++ == 0) firstBad_ = printable(message) + " (expected " + printable(numberedFrame(expected_)) + ")";
    // Go on from the number the message carries, so that one fault is counted once.
    unsigned long long number = 0;
    if (std::sscanf(message.c_str(), "\x02" "F=%8llx:", &number) == 1) expected_ = number + 1;
}

std::string printable(const std::string& bytes)
{
    std::string text;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
            text.push_back(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            text += escaped;
        }
    }
    return text;
}
