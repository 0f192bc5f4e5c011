#pragma once

#include <QFile>
#include <QString>

#include <array>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

// Names that lead to something other than a regular file, made in a test's own
// folder: what a user may pick by mistake where a file is wanted. The device
// has a null device's numbers (1, 3) and is never the system's own; a closed
// socket leaves its name, which is all a reader meets.
enum class SpecialFile { NamedPipe, Device, Socket, Folder };
inline constexpr SpecialFile SpecialFiles[] = {SpecialFile::NamedPipe, SpecialFile::Device, SpecialFile::Socket,
                                               SpecialFile::Folder};
inline const char* specialFileName(SpecialFile kind)
{
    return std::array{"a named pipe", "a device", "a socket", "a folder"}[static_cast<std::size_t>(kind)];
}

inline bool makeSpecialFile(SpecialFile kind, const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    sockaddr_un address{AF_UNIX, {}};
    const int fd = kind == SpecialFile::Socket ? ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0) : -1;
    const bool bound = fd >= 0 && qstrncpy(address.sun_path, name.constData(), sizeof address.sun_path) &&
                       ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    if (fd >= 0) ::close(fd);
    return kind == SpecialFile::NamedPipe ? ::mkfifo(name.constData(), 0600) == 0
           : kind == SpecialFile::Device  ? ::mknod(name.constData(), S_IFCHR | 0600, makedev(1, 3)) == 0
           : kind == SpecialFile::Folder  ? ::mkdir(name.constData(), 0700) == 0
                                          : bound;
}
