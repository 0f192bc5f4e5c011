#include "framework/FolderWatch.h"

namespace fw {

void watchExactly(QFileSystemWatcher& watcher, const QStringList& folders)
{
    const QStringList watched = watcher.directories();
    QStringList gone;
    for (const QString& folder : watched)
        if (!folders.contains(folder)) gone << folder;
    if (!gone.isEmpty()) watcher.removePaths(gone);
    QStringList added;
    for (const QString& folder : folders)
        if (!watched.contains(folder) && !added.contains(folder)) added << folder;
    if (!added.isEmpty()) watcher.addPaths(added);
}

} // namespace fw
