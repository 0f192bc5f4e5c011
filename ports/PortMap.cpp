#include "ports/PortMap.h"

#include "platform/NetworkAddress.h"
#include "platform/PortNames.h"

#include <QFile>
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
    std::error_code made;
    std::filesystem::create_directories(std::filesystem::path(native(directory_).toStdString()), made);
    if (made) return QString::fromStdString(made.message());
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
    const QByteArray line = address.toUtf8() + '\n';
    return replaceEntry(number, [&line](const QByteArray& temporary) {
        const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) return errno;
        const ssize_t wrote = ::write(fd, line.constData(), static_cast<std::size_t>(line.size()));
        const int error = wrote == line.size() ? 0 : wrote < 0 ? errno : EIO;
        if (::close(fd) != 0 && error == 0) return errno;
        return error;
    });
}

QString PortMap::unmap(int number) const
{
    if (::unlink(native(entryPath(number)).constData()) != 0 && errno != ENOENT) return reason(errno);
    return {};
}
