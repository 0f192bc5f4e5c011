#include "session/SaveTarget.h"

#include <QFile>
#include <QSaveFile>

#include <sys/stat.h>

namespace session {

QString SaveTarget::refusal(const QString& path)
{
    struct stat info {};
    // stat() follows the links: what counts is what the name leads to.
    if (::stat(QFile::encodeName(path).constData(), &info) != 0 || S_ISREG(info.st_mode)) return {};
    if (S_ISDIR(info.st_mode)) return QStringLiteral("a folder is not a regular file");
    if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode)) return QStringLiteral("a device is not a regular file");
    if (S_ISFIFO(info.st_mode)) return QStringLiteral("a named pipe is not a regular file");
    if (S_ISSOCK(info.st_mode)) return QStringLiteral("a socket is not a regular file");
    return QStringLiteral("it is not a regular file");
}

QString SaveTarget::save(const QString& path, const std::function<bool(QIODevice&)>& write)
{
    if (QString refused = refusal(path); !refused.isEmpty()) return refused;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return file.errorString();
    // A file cancelled or left uncommitted is removed when `file` goes; the
    // target stays as it was.
    if (!write(file)) return QStringLiteral("it could not be written");
    // Looked at again just before the rename: the name may have changed hands
    // while the file was written.
    if (QString refused = refusal(path); !refused.isEmpty()) return refused;
    if (!file.commit()) return file.errorString();
    return {};
}

} // namespace session
