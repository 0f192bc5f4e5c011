#include "mqtt/Topics.h"

#include <QStringList>

namespace mqtt {

std::string onlineTopic(const std::string& prefix, const std::string& publisher)
{
    return prefix + "/" + publisher + "/online";
}

std::string stateTopic(const std::string& prefix, const std::string& publisher, const QString& port)
{
    return prefix + "/" + publisher + "/" + port.toStdString() + "/state";
}

std::string alarmTopic(const std::string& prefix, const std::string& publisher, const QString& port)
{
    return prefix + "/" + publisher + "/" + port.toStdString() + "/alarm";
}

std::string everyOnline(const std::string& prefix)
{
    return prefix + "/+/online";
}

std::string everyState(const std::string& prefix)
{
    return prefix + "/+/+/state";
}

std::string everyAlarm(const std::string& prefix)
{
    return prefix + "/+/+/alarm";
}

std::optional<TopicName> readTopic(const std::string& prefix, const std::string& topic)
{
    if (!topic.starts_with(prefix + "/")) return std::nullopt;
    const QStringList levels = QString::fromStdString(topic.substr(prefix.size() + 1)).split(QLatin1Char('/'));
    if (levels.size() == 2 && levels[1] == QLatin1String("online"))
        return TopicName{TopicName::Kind::Online, levels[0], {}};
    if (levels.size() != 3) return std::nullopt;
    if (levels[2] == QLatin1String("state")) return TopicName{TopicName::Kind::State, levels[0], levels[1]};
    if (levels[2] == QLatin1String("alarm")) return TopicName{TopicName::Kind::Alarm, levels[0], levels[1]};
    return std::nullopt;
}

} // namespace mqtt
