#include "ports/PortMap.h"

#include "platform/NetworkAddress.h"
#include "platform/PortNames.h"

#include <QFile>
#include <QSaveFile>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString reason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QByteArray native(const QString& path)
{
    return QFile::encodeName(path);
}

// Makes a rename in `folder` durable. A file system that cannot sync a folder
// leaves it to its own flush: the entry is in place either way.
void syncFolder(const QString& folder)
{
    const int fd = ::open(native(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

} // namespace

QString PortMap::deviceOf(const QString& path)
{
    char real[PATH_MAX];
    return ::realpath(native(path).constData(), real) ? QFile::decodeName(real) : QString();
}

QString PortMap::entryPath(int number) const
{
    return directory_ + QStringLiteral("/COM%1").arg(number);
}

QMap<int, QString> PortMap::entries() const
{
    QMap<int, QString> entries;
    for (int number = FirstNumber; number <= LastNumber; ++number) {
        const QString entry = entryPath(number);
        struct stat info {};
        if (::lstat(native(entry).constData(), &info) != 0) continue;
        const QString target = QString::fromStdString(platform::linkTarget(entry.toStdString()));
        entries.insert(number, target.isEmpty() ? entry : target);
    }
    return entries;
}

QList<int> PortMap::numbersFor(const QString& path) const
{
    QList<int> numbers;
    const QString device = deviceOf(path);
    if (device.isEmpty()) return numbers;
    const QMap<int, QString> all = entries();
    for (auto it = all.begin(); it != all.end(); ++it)
        if (deviceOf(entryPath(it.key())) == device) numbers << it.key();
    return numbers;
}

template <class Make>
QString PortMap::replaceEntry(int number, Make make) const
{
    if (number < FirstNumber || number > LastNumber) return QStringLiteral("COM numbers go from 1 to 255");
    std::error_code failed;
    // The folder decides where every port leads: its user's alone.
    if (std::filesystem::create_directories(std::filesystem::path(native(directory_).toStdString()), failed))
        ::chmod(native(directory_).constData(), 0700);
    if (failed) return QString::fromStdString(failed.message());
    const QString temporary = directory_ + QStringLiteral("/.COM%1.%2.new").arg(number).arg(::getpid());
    ::unlink(native(temporary).constData());
    if (const int error = make(native(temporary))) {
        ::unlink(native(temporary).constData());
        return reason(error);
    }
    if (::rename(native(temporary).constData(), native(entryPath(number)).constData()) != 0) {
        const int error = errno;
        ::unlink(native(temporary).constData());
        return reason(error);
    }
    syncFolder(directory_);
    return {};
}

QString PortMap::map(int number, const QString& target) const
{
    return replaceEntry(number, [&target](const QByteArray& temporary) {
        return ::symlink(native(target).constData(), temporary.constData()) == 0 ? 0 : errno;
    });
}

QString PortMap::mapNetwork(int number, const QString& address) const
{
    platform::NetworkAddress parsed;
    std::string problem;
    if (!platform::parseNetworkEntry(address.toStdString(), parsed, problem)) return QString::fromStdString(problem);
    QByteArray line = address.toUtf8();
    if (!line.endsWith('\n')) line += '\n';
    // QSaveFile writes aside and syncs before its own rename. It is pointed at
    // the temporary name, not at COM<n>: over a link it would write into the
    // device the link leads to. The rename over COM<n> stays ours.
    return replaceEntry(number, [&line](const QByteArray& temporary) {
        QSaveFile file(QFile::decodeName(temporary));
        errno = 0;
        // Whoever can change the entry can point the port at their own host.
        if (file.open(QIODevice::WriteOnly) && file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)
            && file.write(line) == line.size() && file.commit())
            return 0;
        return errno != 0 ? errno : EIO;
    });
}

QString PortMap::unmap(int number) const
{
    if (::unlink(native(entryPath(number)).constData()) != 0 && errno != ENOENT) return reason(errno);
    return {};
}

QStringList PortMap::tightenEarlierEntries() const
{
    QStringList tightened;
    const auto tighten = [&tightened](const QString& path, mode_t mode) {
        struct stat info {};
        if (::lstat(native(path).constData(), &info) != 0 || info.st_uid != ::geteuid()) return;
        if ((info.st_mode & 07777) == mode || (info.st_mode & 077) == 0) return;
        if (::chmod(native(path).constData(), mode) != 0) return;
        tightened << QStringLiteral("%1 (%2 now, was %3)")
                         .arg(path, QString::number(mode, 8), QString::number(info.st_mode & 07777, 8));
    };
    tighten(directory_, 0700);
    for (int number = FirstNumber; number <= LastNumber; ++number) {
        const QString entry = entryPath(number);
        struct stat info {};
        // Links to devices carry no trust of their own; network entries do.
        if (::lstat(native(entry).constData(), &info) == 0 && S_ISREG(info.st_mode)) tighten(entry, 0600);
    }
    return tightened;
}
