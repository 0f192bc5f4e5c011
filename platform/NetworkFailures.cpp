#include "platform/NetworkFailures.h"

#include <map>
#include <mutex>
#include <utility>

namespace platform {

namespace {

struct Record {
    std::mutex mutex;
    std::map<std::string, std::pair<int, std::string>> failures;
};

Record& record()
{
    static Record instance;
    return instance;
}

} // namespace

void recordNetworkFailure(const std::string& comName, int error, const std::string& problem)
{
    std::lock_guard lock(record().mutex);
    record().failures[comName] = {error, problem};
}

void forgetNetworkFailure(const std::string& comName)
{
    std::lock_guard lock(record().mutex);
    record().failures.erase(comName);
}

std::string recalledNetworkFailure(const std::string& comName, int error)
{
    std::lock_guard lock(record().mutex);
    const auto found = record().failures.find(comName);
    return found != record().failures.end() && found->second.first == error ? found->second.second : std::string();
}

std::string serverClosedConnection(const std::string& words)
{
    const std::string closed = "the server closed the connection";
    if (words.empty()) return closed;
    // What the words mean comes first: a narrow status bar shows the start.
    const std::string quoted = "\"" + words + "\"";
    if (words.find("Port's device already in use") != std::string::npos)
        return "another program holds the serial device on the server (" + quoted + ")";
    if (words.find("Port already in use") != std::string::npos)
        return "another client holds this port (" + quoted + ")";
    return closed + ": " + quoted;
}

} // namespace platform
