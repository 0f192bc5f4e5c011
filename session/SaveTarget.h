#pragma once

#include <QString>
#include <functional>

class QIODevice;

namespace session {

// Where a save of ours may write: a regular file, reached through any symbolic
// links, or a name that nothing has yet. A device, a named pipe, a socket or a
// folder under the chosen name is refused before anything is opened: writing a
// file beside it and renaming that over it would replace the device itself.
class SaveTarget {
public:
    // Why `path` may not be written to ("a device is not a regular file"), or
    // empty when it may. A name that cannot be looked at is left to the opening,
    // which says what is wrong with it.
    static QString refusal(const QString& path);

    // Writes the file whole through `write`, beside the target and moved over it
    // at the end, so that a failure halfway leaves the target as it was. Empty on
    // success, else why not.
    static QString save(const QString& path, const std::function<bool(QIODevice&)>& write);
};

} // namespace session
