#include "platform/InputQueue.h"

#include <algorithm>

namespace platform {

void InputQueue::setCapacity(std::size_t capacity)
{
    capacity_ = std::max(capacity, MinCapacity);
}

void InputQueue::clear()
{
    bytes_.clear();
    head_ = 0;
}

std::size_t InputQueue::take(char* data, std::size_t size)
{
    const std::size_t count = std::min(size, this->size());
    std::copy_n(bytes_.data() + head_, count, data);
    head_ += count;
    // Taking one byte at a time must not move the rest each time: the taken
    // bytes go only when nothing is left or when they outnumber a full queue.
    if (head_ == bytes_.size()) clear();
    else if (head_ > capacity_) {
        bytes_.erase(0, head_);
        head_ = 0;
    }
    return count;
}

} // namespace platform
