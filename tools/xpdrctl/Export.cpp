#include "tools/xpdrctl/Export.h"

#include "framework/ExitCodes.h"
#include "session/RecordingReader.h"
#include "session/SequenceCsv.h"

namespace xpdrctl {

int exportRecording(const Invocation& invocation, std::ostream& out, std::ostream& err)
{
    const QString path = QString::fromLocal8Bit(invocation.recording);
    session::SequenceCsv csv;
    // The header comes with the session's first line: a file that cannot be
    // read, or has no such session, writes nothing on stdout.
    bool headed = false;
    const auto each = [&](const session::RecordedLine& line) {
        using Kind = session::RecordedLine::Kind;
        if (!headed) out << session::SequenceCsv::header().toStdString();
        headed = true;
        if (line.kind == Kind::Frame) {
            csv.frame(line.direction, std::string_view(line.payload.constData(), line.payload.size()),
                      static_cast<double>(line.timeMs));
        } else if (line.kind == Kind::Alarm) {
            csv.alarm(line.object);
        } else if (line.kind == Kind::Sequence) {
            const QByteArray row = csv.row(line.object);
            out.write(row.constData(), row.size());
        }
    };
    const session::SessionRead read = session::readSession(path, invocation.session, each);
    out.flush();
    err << session::readReport(path, read).toLocal8Bit().toStdString();
    if (!read.error.isEmpty()) {
        err << "xpdrctl: " << invocation.recording << ": " << read.error.toLocal8Bit().toStdString() << '\n';
        return fw::exitcode::Usage;
    }
    return out ? fw::exitcode::Ok : 1;
}

} // namespace xpdrctl
