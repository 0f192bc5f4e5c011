#pragma once

#include <QString>

namespace session {

// Opens a recording for reading without ever blocking on what the name leads
// to: a regular file always; a pipe only for a reader that streams (a program
// fed by `zcat … |`), never for a window that would hang on a named pipe with
// no writer. A device, a socket or a folder is refused before it is opened,
// and what was opened is looked at again in case the name changed hands.
class RecordingSource {
public:
    enum class Pipes { Refused, Read };

    // A descriptor open for reading, or -1 with `why` saying what is wrong
    // ("a device is not a regular file", "No such file or directory").
    static int open(const QString& path, Pipes pipes, QString& why);
};

} // namespace session
