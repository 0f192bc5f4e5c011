#include "session/RecordingReader.h"

#include "session/RecordingSource.h"

#include <cstring>

namespace session {

namespace {

constexpr qint64 ChunkBytes = 1 << 20;

} // namespace

RecordingReader::RecordingReader(const QString& path, Decoding decoding)
    : path_(path), decoding_(decoding)
{
}

bool RecordingReader::open()
{
    const int fd = RecordingSource::open(path_, RecordingSource::Pipes::Read, error_);
    if (fd < 0) return false;
    return file_.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
}

// Reads the next chunk behind what is left of the buffer. False at the end.
bool RecordingReader::fill()
{
    if (atEnd_) return false;
    buffer_.remove(0, at_);
    scanned_ -= at_;
    at_ = 0;
    const qsizetype kept = buffer_.size();
    buffer_.resize(kept + ChunkBytes);
    const qint64 n = file_.read(buffer_.data() + kept, ChunkBytes);
    buffer_.resize(kept + std::max<qint64>(n, 0));
    if (n < 0) readFailed_ = true;
    if (n <= 0) atEnd_ = true;
    return n > 0;
}

bool RecordingReader::next(Line& out)
{
    qsizetype end = -1;
    for (;;) {
        if (const void* found =
                std::memchr(buffer_.constData() + scanned_, '\n', static_cast<std::size_t>(buffer_.size() - scanned_))) {
            end = static_cast<const char*>(found) - buffer_.constData();
            break;
        }
        scanned_ = buffer_.size();
        // One byte more than the cap: a carriage return before the line end.
        if (scanned_ - at_ > MaxRecordedLineBytes + 1) {
            // Nothing of the line is wanted any more: only its end is looked for.
            skipping_ = true;
            buffer_.clear();
            at_ = scanned_ = 0;
        }
        if (!fill()) break;
    }
    const bool whole = end >= 0;
    if (!whole) {
        if (readFailed_ || (at_ >= buffer_.size() && !skipping_)) return false;
        end = buffer_.size();
    }
    out.raw = skipping_ ? QByteArrayView() : QByteArrayView(buffer_.constData() + at_, end - at_);
    out.lastWithoutEnd = !whole;
    if (decoding_ == Decoding::Raw)
        out.number = ++number_;
    else
        take(out, skipping_ ? RecordedLine::unreadable(QStringLiteral("line too long"))
                            : parseRecordedLine(out.raw, !whole));
    skipping_ = false;
    at_ = scanned_ = whole ? end + 1 : end;
    return true;
}

void RecordingReader::take(Line& out, const RecordedLine& line)
{
    out.line = line;
    out.number = ++number_;
    if (out.line.kind == RecordedLine::Kind::Start) ++sessions_;
    out.session = sessions_;
    if (sessions_ == 0) ++beforeFirstStart_;
    if (out.line.kind != RecordedLine::Kind::Unparsed) return;
    if (++unreadableCount_ <= MaxListedUnreadable) unreadable_.push_back({out.number, sessions_, out.line.reason});
}

SessionRead readSession(const QString& path, int session, const std::function<void(const RecordedLine&)>& each)
{
    SessionRead read;
    RecordingReader reader(path);
    if (!reader.open()) {
        read.error = reader.errorString();
        return read;
    }
    RecordingReader::Line line;
    while (reader.next(line)) {
        if (line.line.kind == RecordedLine::Kind::Start) read.starts.push_back(line.line.object);
        if (line.session == session) each(line.line);
    }
    read.sessions = reader.sessions();
    read.linesBeforeFirstStart = reader.linesBeforeFirstStart();
    read.unreadable = reader.unreadable();
    read.unreadableCount = reader.unreadableCount();
    if (reader.readFailed())
        read.error = reader.errorString();
    else if (session < 1 || session > read.sessions)
        read.error = read.sessions == 0 ? QStringLiteral("the file holds no session (no start object)")
                                        : QStringLiteral("there is no session %1: the file holds %2")
                                              .arg(session)
                                              .arg(read.sessions);
    return read;
}

QString readReport(const QString& path, const SessionRead& read)
{
    QString report;
    for (const RecordingReader::Unreadable& line : read.unreadable)
        report += QStringLiteral("%1: line %2: %3\n").arg(path).arg(line.number).arg(line.reason);
    if (read.unreadableCount > read.unreadable.size())
        report += QStringLiteral("%1: %2 more line(s) did not read\n")
                      .arg(path)
                      .arg(read.unreadableCount - read.unreadable.size());
    if (read.linesBeforeFirstStart > 0)
        report += QStringLiteral("%1: %2 line(s) before the first start belong to no session\n")
                      .arg(path)
                      .arg(read.linesBeforeFirstStart);
    return report;
}

} // namespace session
