#include "mqtt/Outbox.h"

namespace mqtt {

void Outbox::cleared(const std::string& topic)
{
    const auto entry = entries_.find(topic);
    if (entry != entries_.end() && entry->second.payload.isEmpty()) entries_.erase(entry);
}

} // namespace mqtt
