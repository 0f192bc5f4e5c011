#pragma once

#include <QString>
#include <optional>
#include <string>

namespace mqtt {

// The names a fleet publishes under: PREFIX/PUBLISHER/online, and per link
// PREFIX/PUBLISHER/COMn/state and PREFIX/PUBLISHER/COMn/alarm. The publisher
// owns PREFIX/PUBLISHER/#, which is what the broker's access list lets it
// write and nothing else.
std::string onlineTopic(const std::string& prefix, const std::string& publisher);
std::string stateTopic(const std::string& prefix, const std::string& publisher, const QString& port);
std::string alarmTopic(const std::string& prefix, const std::string& publisher, const QString& port);

// A viewer's subscriptions: every publisher's online, state and alarm topics.
std::string everyOnline(const std::string& prefix);
std::string everyState(const std::string& prefix);
std::string everyAlarm(const std::string& prefix);

// A topic read back: whose, which link (empty for online), which kind.
struct TopicName {
    enum class Kind { Online, State, Alarm };
    Kind kind;
    QString publisher;
    QString port;
};
std::optional<TopicName> readTopic(const std::string& prefix, const std::string& topic);

} // namespace mqtt
