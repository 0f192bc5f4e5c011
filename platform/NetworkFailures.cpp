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

} // namespace platform
