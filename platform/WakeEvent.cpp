#include "platform/WakeEvent.h"

#include <cerrno>
#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

namespace platform {

int WakeEvent::open()
{
    close();
    const int fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (fd < 0) return errno;
    fd_ = fd;
    return 0;
}

void WakeEvent::close()
{
    const int fd = fd_.exchange(-1);
    if (fd >= 0) ::close(fd);
}

int WakeEvent::signal()
{
    const int fd = fd_.load();
    if (fd < 0) return EBADF;
    const std::uint64_t one = 1;
    return ::write(fd, &one, sizeof one) == sizeof one ? 0 : errno;
}

void WakeEvent::clear()
{
    std::uint64_t count = 0;
    [[maybe_unused]] const auto ignored = ::read(fd_.load(), &count, sizeof count);
}

} // namespace platform
