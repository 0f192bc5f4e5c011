#include "platform/ConnectionWait.h"

#include <cerrno>
#include <poll.h>

namespace platform {

int PollConnectionWait::wait(int fd, short events, Clock::time_point deadline)
{
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return ETIMEDOUT;
        pollfd entry {fd, events, 0};
        const int ready = ::poll(&entry, 1, static_cast<int>(left));
        if (ready > 0) return 0;
        if (ready < 0 && errno != EINTR) return errno;
    }
}

} // namespace platform
