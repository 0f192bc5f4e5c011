#include "ports/FolderDeviceSource.h"

#include <QDir>
#include <sys/stat.h>

QList<SerialDeviceInfo> FolderDeviceSource::devices() const
{
    QList<SerialDeviceInfo> devices;
    const QDir folder(folder_);
    for (const QString& name : folder.entryList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name)) {
        const QString path = folder.filePath(name);
        struct stat info {};
        if (::stat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISCHR(info.st_mode)) continue;
        SerialDeviceInfo device;
        device.path = path;
        devices << device;
    }
    return devices;
}
