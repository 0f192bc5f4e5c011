#include "tests/testkit/SpecialFiles.h"

#include <QFile>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

namespace {

bool makeSocket(const QByteArray& path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (static_cast<std::size_t>(path.size()) >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, path.constData(), static_cast<std::size_t>(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    // The name stays when the socket is closed; that is all a reader meets.
    const bool bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return bound;
}

} // namespace

bool makeSpecialFile(SpecialFile kind, const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    switch (kind) {
    case SpecialFile::NamedPipe: return ::mkfifo(name.constData(), 0600) == 0;
    case SpecialFile::Device: return ::mknod(name.constData(), S_IFCHR | 0600, makedev(1, 3)) == 0;
    case SpecialFile::Socket: return makeSocket(name);
    case SpecialFile::Folder: return ::mkdir(name.constData(), 0700) == 0;
    }
    return false;
}

const char* specialFileName(SpecialFile kind)
{
    switch (kind) {
    case SpecialFile::NamedPipe: return "a named pipe";
    case SpecialFile::Device: return "a device";
    case SpecialFile::Socket: return "a socket";
    case SpecialFile::Folder: return "a folder";
    }
    return "";
}
