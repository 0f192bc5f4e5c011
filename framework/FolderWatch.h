#pragma once

#include <QFileSystemWatcher>
#include <QStringList>

namespace fw {

// Makes `watcher` watch exactly `folders`: those it watched and are not listed
// any more are dropped, the new ones added, the rest left alone (so that no
// change in them is missed while the set is being changed).
void watchExactly(QFileSystemWatcher& watcher, const QStringList& folders);

} // namespace fw
