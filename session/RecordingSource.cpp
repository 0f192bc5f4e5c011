#include "session/RecordingSource.h"

#include "session/SaveTarget.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace session {

namespace {

bool readable(mode_t mode, RecordingSource::Pipes pipes)
{
    return S_ISREG(mode) || (S_ISFIFO(mode) && pipes == RecordingSource::Pipes::Read);
}

} // namespace

int RecordingSource::open(const QString& path, Pipes pipes, QString& why)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat info {};
    if (::stat(name.constData(), &info) != 0) {
        why = qt_error_string(errno);
        return -1;
    }
    if (!readable(info.st_mode, pipes)) {
        why = SaveTarget::refusal(path);
        return -1;
    }
    // Without O_NONBLOCK a named pipe put in the file's place meanwhile would
    // hold the open until some writer came.
    const int flags = O_RDONLY | O_CLOEXEC | O_NOCTTY | (pipes == Pipes::Refused ? O_NONBLOCK : 0);
    const int fd = ::open(name.constData(), flags);
    if (fd < 0) {
        why = qt_error_string(errno);
        return -1;
    }
    if (::fstat(fd, &info) != 0 || !readable(info.st_mode, pipes)) {
        ::close(fd);
        why = QStringLiteral("it is not a regular file");
        return -1;
    }
    if (flags & O_NONBLOCK) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

} // namespace session
