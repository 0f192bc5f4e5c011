#include "session/ChainCheck.h"

#include "session/HashChain.h"
#include "session/RecordingReader.h"

#include <QJsonObject>
#include <deque>
#include <string_view>

namespace session {

namespace {

using Kind = RecordedLine::Kind;

struct Link {
    std::uint64_t number;
    QByteArray chain;
};

// The line decoded when its kind matters to the chain (a start, a close, or a
// line without a chain); any other is taken for what the recorder wrote,
// which its chain then confirms or not, without the cost of its JSON.
RecordedLine decodeWhereNeeded(const RecordingReader::Line& line, bool chained)
{
    const std::string_view text(line.raw.data(), static_cast<std::size_t>(line.raw.size()));
    if (!chained || text.find(R"("program":)") != text.npos || text.find(R"("close":)") != text.npos)
        return parseRecordedLine(line.raw, line.lastWithoutEnd);
    RecordedLine other;
    other.kind = Kind::Frame;
    return other;
}

std::uint64_t closeCount(const RecordedLine& line)
{
    return static_cast<std::uint64_t>(
        line.object.value(QLatin1StringView("close")).toObject().value(QLatin1StringView("lines")).toInteger());
}

// Why the chain breaks at line `number` (its body `open`, its chain `chain`),
// `previous` being the chain before it: the lines after it tell an edit from a
// removal or a change of order.
QString why(RecordingReader& reader, std::uint64_t number, const QByteArray& previous, const QByteArray& open,
            const QByteArray& chain, std::uint64_t sessionLines, Kind kind, const std::deque<Link>& recent)
{
    for (const Link& earlier : recent)
        if (HashChain::link(earlier.chain, open) == chain)
            return QStringLiteral("reordered: it belongs after line %1").arg(earlier.number);
    RecordingReader::Line next;
    if (!reader.next(next)) return QStringLiteral("edited, or lines before it removed");
    next.line = parseRecordedLine(next.raw, next.lastWithoutEnd);
    QByteArrayView nextOpen;
    QByteArray nextChain;
    if (!HashChain::split(next.raw, nextOpen, nextChain)) return QStringLiteral("edited");
    if (HashChain::link(previous, nextOpen) == nextChain)
        return QStringLiteral("reordered: it belongs after line %1").arg(number + 1);
    if (HashChain::link(chain, nextOpen) != nextChain) return QStringLiteral("edited, its chain too");
    if (kind == Kind::Start) return QStringLiteral("lines missing at the end of the session before it");
    // Its own chain stands: either its text changed, or the lines before it
    // went. The session's close counts what it wrote.
    std::uint64_t present = sessionLines + 1;
    for (bool more = true; more; more = reader.next(next)) {
        next.line = parseRecordedLine(next.raw, next.lastWithoutEnd);
        if (next.line.kind == Kind::Start) break;
        if (next.line.kind == Kind::Close) {
            const std::uint64_t wrote = closeCount(next.line);
            if (wrote > present)
                return QStringLiteral("%1 line(s) removed before it").arg(wrote - present);
            return QStringLiteral("edited");
        }
        ++present;
    }
    return QStringLiteral("edited, or lines before it removed");
}

} // namespace

ChainCheck checkChain(const QString& path)
{
    ChainCheck check;
    RecordingReader reader(path, RecordingReader::Decoding::Raw);
    if (!reader.open()) {
        check.verdict = ChainCheck::Verdict::Unreadable;
        check.why = reader.errorString();
        return check;
    }
    constexpr std::size_t Recent = 64; // lines looked back at for a change of order
    QByteArray previous = HashChain().head();
    std::deque<Link> recent;
    bool chained = false;
    std::uint64_t sessionLines = 0;
    std::uint64_t cut = 0; // a line without a chain that only a crash may explain
    const auto broken = [&](std::uint64_t number, QString reason) {
        check.verdict = ChainCheck::Verdict::Broken;
        check.brokenAt = number;
        check.why = std::move(reason);
        return check;
    };
    RecordingReader::Line line;
    while (reader.next(line)) {
        check.lines = line.number;
        QByteArrayView openView;
        QByteArray chain;
        const bool chainedLine = HashChain::split(line.raw, openView, chain);
        line.line = decodeWhereNeeded(line, chainedLine);
        // A crash cuts the last line; recording again starts on the next one.
        if (cut && line.line.kind != Kind::Start)
            return broken(cut, QStringLiteral("it carries no chain: added by another program, or edited"));
        cut = 0;
        if (!chainedLine) {
            if (!chained) continue; // written before records were chained
            if (line.line.kind == Kind::Unparsed) {
                cut = line.number;
                continue;
            }
            return broken(line.number, QStringLiteral("it carries no chain: added by another program"));
        }
        const Kind kind = line.line.kind;
        if (kind == Kind::Start) {
            ++check.sessions;
            sessionLines = 0;
        }
        if (HashChain::link(previous, openView) != chain) {
            const QByteArray open = openView.toByteArray();
            if (kind == Kind::Close && closeCount(line.line) > sessionLines)
                return broken(line.number, QStringLiteral("%1 line(s) missing at the end of session %2")
                                               .arg(closeCount(line.line) - sessionLines)
                                               .arg(check.sessions));
            return broken(line.number, why(reader, line.number, previous, open, chain, sessionLines, kind, recent));
        }
        chained = true;
        if (kind == Kind::Close) {
            if (closeCount(line.line) != sessionLines)
                return broken(line.number, QStringLiteral("the close counts %1 line(s), the session holds %2")
                                               .arg(closeCount(line.line))
                                               .arg(sessionLines));
        } else {
            ++sessionLines;
        }
        recent.push_back({line.number, chain});
        if (recent.size() > Recent) recent.pop_front();
        previous = chain;
    }
    if (reader.readFailed()) {
        check.verdict = ChainCheck::Verdict::Unreadable;
        check.why = reader.errorString();
        return check;
    }
    check.cutLastLine = cut != 0;
    check.verdict = chained ? ChainCheck::Verdict::Holds : ChainCheck::Verdict::NoChain;
    check.head = HashChain::hex(previous);
    return check;
}

} // namespace session
