#include "tools/xpdrctl/Verify.h"

#include "framework/ExitCodes.h"
#include "session/ChainCheck.h"

namespace xpdrctl {

int verifyRecording(const Invocation& invocation, std::ostream& out, std::ostream& err)
{
    const QString path = QString::fromLocal8Bit(invocation.recording);
    const session::ChainCheck check = session::checkChain(path);
    const std::string& file = invocation.recording;
    using Verdict = session::ChainCheck::Verdict;
    switch (check.verdict) {
    case Verdict::Unreadable:
        err << "xpdrctl: " << file << ": " << check.why.toLocal8Bit().toStdString() << '\n';
        return fw::exitcode::Usage;
    case Verdict::NoChain:
        out << file << ": carries no chain (recorded before lines were chained): nothing to verify\n";
        return fw::exitcode::ChainBroken;
    case Verdict::Broken:
        out << file << ": the chain breaks at line " << check.brokenAt << ": " << check.why.toStdString() << '\n';
        return fw::exitcode::ChainBroken;
    case Verdict::Holds: break;
    }
    out << file << ": the chain holds: " << check.lines << " lines in " << check.sessions << " session(s), head "
        << check.head.toStdString() << '\n';
    if (check.cutLastLine) out << file << ": the last line was cut by a crash, which breaks nothing\n";
    return fw::exitcode::Ok;
}

} // namespace xpdrctl
