#pragma once

#include <QByteArray>
#include <map>
#include <string>

namespace mqtt {

// Every retained topic a publisher holds, with its latest payload only: what
// goes out again when the broker is back, so that a broker that was away, or
// restarted without its store, holds the fleet as it is now and not as it was.
// A payload that waited while the broker was away is replaced by a newer one,
// never queued behind it. An empty payload clears its topic at the broker and
// is forgotten once sent.
class Outbox {
public:
    struct Entry {
        QByteArray payload;
        int qos = 0;
        int expirySeconds = 0; // 0: none
    };

    void put(const std::string& topic, Entry entry) { entries_[topic] = std::move(entry); }
    // The topic's clearing went out: nothing is left to send for it.
    void cleared(const std::string& topic);
    const std::map<std::string, Entry>& entries() const { return entries_; }

private:
    std::map<std::string, Entry> entries_;
};

} // namespace mqtt
