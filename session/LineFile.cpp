#include "session/LineFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace session {

LineFile::~LineFile()
{
    close();
}

int LineFile::open(const std::string& path)
{
    close();
    // A record may name the operator and the host: it is the operator's alone.
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0600);
    if (fd < 0) return errno;
    struct stat info {};
    char last = '\n';
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
        // O_APPEND leaves the descriptor write-only; a second one reads the tail.
        const int reader = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (reader >= 0) {
            if (::pread(reader, &last, 1, info.st_size - 1) != 1) last = '\n';
            ::close(reader);
        }
    }
    fd_ = fd;
    startOnNewLine_ = last != '\n';
    return 0;
}

int LineFile::append(std::string_view line)
{
    if (fd_ < 0) return EBADF;
    std::string whole;
    whole.reserve(line.size() + 2);
    if (startOnNewLine_) whole += '\n';
    whole += line;
    whole += '\n';
    // One write() takes the whole line; the loop only carries on after a write
    // that a signal cut short, and turns a short write on a full device into
    // that device's error.
    std::size_t done = 0;
    while (done < whole.size()) {
        const ssize_t n = ::write(fd_, whole.data() + done, whole.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) return ENOSPC;
        done += static_cast<std::size_t>(n);
    }
    startOnNewLine_ = false;
    return 0;
}

int LineFile::sync(int descriptor)
{
    if (::fdatasync(descriptor) == 0) return 0;
    // EINVAL and EROFS: the file is a pipe, a terminal or the like, with nothing
    // of its own to flush; what was written has gone wherever it goes.
    if (errno == EINVAL || errno == EROFS) return 0;
    return errno;
}

int LineFile::close()
{
    if (fd_ < 0) return 0;
    return closeDescriptor(release());
}

int LineFile::release()
{
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

int LineFile::closeDescriptor(int descriptor)
{
    return ::close(descriptor) == 0 ? 0 : errno;
}

} // namespace session
