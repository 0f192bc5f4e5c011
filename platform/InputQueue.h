#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// The bytes a device has received and the component has not read yet.
//
// A device stops taking input from the line once the queue holds its capacity,
// so that unread bytes stay with the sender (where flow control holds it back)
// and cannot make the device's wait spin. Not locked: the device that owns it
// guards it.
class InputQueue {
public:
    // Never less than this, so that a tiny requested size cannot make the line crawl.
    static constexpr std::size_t MinCapacity = 256;

    void setCapacity(std::size_t capacity);
    void clear();

    void append(std::string_view bytes) { bytes_.append(bytes); }
    // Takes up to `size` bytes into `data`; returns how many.
    std::size_t take(char* data, std::size_t size);

    std::size_t size() const { return bytes_.size() - head_; }
    std::size_t capacity() const { return capacity_; }
    bool full() const { return size() >= capacity_; }
    std::size_t room() const { return full() ? 0 : capacity_ - size(); }

private:
    std::string bytes_;
    std::size_t head_ = 0; // bytes before it have been taken
    std::size_t capacity_ = 4096;
};

} // namespace platform
