#include "LineWriter.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

LineWriter::LineWriter(PtyPair& pty, Source source, AtEnd atEnd)
    : pty_(pty)
{
    masterFlags_ = ::fcntl(pty_.master(), F_GETFL);
    ::fcntl(pty_.master(), F_SETFL, masterFlags_ | O_NONBLOCK);
    thread_ = std::thread([this, source = std::move(source), atEnd]() mutable { run(std::move(source), atEnd); });
}

LineWriter::~LineWriter()
{
    stop();
    if (thread_.joinable()) thread_.join();
    if (pty_.master() >= 0) ::fcntl(pty_.master(), F_SETFL, masterFlags_);
}

void LineWriter::stop()
{
    stop_ = true;
}

void LineWriter::run(Source source, AtEnd atEnd)
{
    std::string bytes;
    while (!stop_ && source(bytes) && writeAll(bytes)) {
    }
    if (atEnd == AtEnd::Unplug) pty_.closeMaster();
    finished_ = true;
}

bool LineWriter::writeAll(const std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        if (stop_) return false;
        const ssize_t wrote = ::write(pty_.master(), bytes.data() + done, bytes.size() - done);
        if (wrote > 0) {
            done += static_cast<std::size_t>(wrote);
            written_ += static_cast<std::uint64_t>(wrote);
            continue;
        }
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote < 0 && errno != EAGAIN) {
            error_ = errno;
            return false;
        }
        // The line is full: look again soon, or when told to stop.
        pollfd fds {pty_.master(), POLLOUT, 0};
        ::poll(&fds, 1, 10);
    }
    return true;
}
