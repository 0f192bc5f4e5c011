#include "tools/xpdrsim/PortWatch.h"

#include <cstddef>
#include <sys/inotify.h>
#include <unistd.h>

namespace xpdrsim {

PortWatch::PortWatch(const std::string& devicePath)
{
    fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ < 0) return;
    if (inotify_add_watch(fd_, devicePath.c_str(), IN_OPEN | IN_CLOSE) < 0) {
        close(fd_);
        fd_ = -1;
        return;
    }
    watching_ = true;
}

PortWatch::~PortWatch()
{
    if (fd_ >= 0) close(fd_);
}

void PortWatch::update(const std::function<void()>& changed)
{
    if (fd_ < 0) return;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t length = read(fd_, buffer, sizeof buffer);
        if (length <= 0) break;
        for (std::size_t offset = 0; offset < static_cast<std::size_t>(length);) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
            const bool wasOpen = open();
            if (event->mask & IN_Q_OVERFLOW) watching_ = false;
            if (event->mask & IN_OPEN) ++openers_;
            if ((event->mask & IN_CLOSE) && openers_ > 0) --openers_;
            if (open() != wasOpen) changed();
            offset += sizeof(inotify_event) + event->len;
        }
    }
}

} // namespace xpdrsim
