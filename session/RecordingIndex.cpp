#include "session/RecordingIndex.h"

#include "session/HashChain.h"
#include "session/RecordingSource.h"
#include "session/SaveTarget.h"
#include "session/TrafficModel.h"

#include <QFile>

#include <chrono>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace session {

namespace {

// The first block is small, so that the first rows come at once; the rest are
// read in large ones.
constexpr qint64 FirstBlock = 64 * 1024;
constexpr qint64 Block = 1024 * 1024;
// A batch goes to the window thread at most this often after the first.
constexpr auto BatchEvery = std::chrono::milliseconds(100);

quint16 packed(const RecordingIndex::Tag& tag)
{
    return static_cast<quint16>(static_cast<unsigned>(tag.kind) | static_cast<unsigned>(tag.direction) << 4 |
                                static_cast<unsigned>(static_cast<unsigned char>(tag.letter)) << 8);
}

} // namespace

// What the worker found since its last batch.
struct RecordingIndex::Batch {
    int fd = -1;   // the first batch's: the file, open for the window thread's reads
    QString error; // the file could not be opened
    std::vector<quint64> offsets;
    std::vector<quint16> tags;
    std::vector<std::pair<quint64, quint64>> ends;
    std::vector<qint64> samples;
    std::vector<Session> sessions;
    std::vector<TrendValues> trends;
    quint64 end = 0;
    qint64 lastTimeMs = 0;
    quint64 unparsed = 0;
    RecordingIndex::Chain chain = RecordingIndex::Chain::None;
    quint64 chainBreak = 0;
    qint64 done = 0;
    qint64 total = 0;
    bool cut = false;
    bool last = false;
    bool cancelled = false;
};

RecordingIndex::RecordingIndex(QObject* parent)
    : QObject(parent)
{
}

RecordingIndex::~RecordingIndex()
{
    stop_ = true;
    if (worker_.joinable()) worker_.join();
    // A batch the window thread never took may still hold the file.
    for (const auto& batch : ready_)
        if (batch->fd >= 0) ::close(batch->fd);
    if (fd_ >= 0) ::close(fd_);
}

bool RecordingIndex::open(const QString& path)
{
    // Only a look at the name here: a named pipe, a device or a slow disk must
    // not hold the window thread. The worker opens the file.
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) {
        error_ = qt_error_string(errno);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        error_ = SaveTarget::refusal(path);
        return false;
    }
    path_ = path;
    worker_ = std::thread([this, path] { run(path); });
    return true;
}

void RecordingIndex::cancel()
{
    stop_ = true;
}

// The worker's pass: blocks of the file, split into lines, each line decoded
// once. It touches nothing of the index itself; each batch is handed to the
// window thread whole.
void RecordingIndex::run(QString path)
{
    QFile file;
    auto batch = std::make_unique<Batch>();
    const int fd = RecordingSource::open(path, RecordingSource::Pipes::Refused, batch->error);
    // The window thread reads lines again with pread(), which leaves the
    // worker's place in the file alone.
    if (fd >= 0) batch->fd = ::dup(fd);
    if (fd < 0 || batch->fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        if (batch->error.isEmpty()) batch->error = qt_error_string(errno);
        if (fd >= 0 && !file.isOpen()) ::close(fd);
        batch->last = true;
        std::lock_guard lock(readyMutex_);
        ready_.push_back(std::move(batch));
        QMetaObject::invokeMethod(this, &RecordingIndex::takeReady, Qt::QueuedConnection);
        return;
    }
    const qint64 size = file.size();
    batch->total = size;
    const auto post = [this, &batch, size] {
        const qint64 done = batch->done;
        {
            std::lock_guard lock(readyMutex_);
            ready_.push_back(std::move(batch));
        }
        QMetaObject::invokeMethod(this, &RecordingIndex::takeReady, Qt::QueuedConnection);
        batch = std::make_unique<Batch>();
        batch->done = done;
        batch->total = size;
    };
    RecordedTrends trends;
    int session = 0; // as RecordingReader counts: 0 before the first start
    quint64 lines = 0;     // indexed
    quint64 fileLines = 0; // read, indexed or left out
    quint64 unreadable = 0;
    quint64 lastEnd = 0;   // of the last line indexed
    bool leftOut = false;  // the lines since the last one indexed were left out
    qint64 lastTime = 0;
    QByteArray pending; // the start of a line that the block cut
    quint64 pendingOffset = 0;
    bool tooLong = false; // the pending line went past MaxRecordedLineBytes: its text is dropped
    QByteArray chainHead = HashChain().head();
    Chain chain = Chain::None;
    quint64 chainBreak = 0;
    // Each line's link of the chain, up to the first that breaks it; a line
    // without one after chained lines breaks it too, unless it does not read
    // (what a crash cuts).
    const auto follow = [&](QByteArrayView text, const RecordedLine& decoded) {
        if (chain == Chain::Broken) return;
        QByteArrayView open;
        QByteArray link;
        if (!HashChain::split(text, open, link)) {
            if (chain == Chain::Holds && decoded.kind != RecordedLine::Kind::Unparsed) chain = Chain::Broken;
        } else if (HashChain::link(chainHead, open) != link) {
            chain = Chain::Broken;
        } else {
            chain = Chain::Holds;
            chainHead = link;
        }
        if (chain == Chain::Broken) chainBreak = fileLines;
    };
    auto posted = std::chrono::steady_clock::now();
    bool first = true;

    // A line from `offset` to `end` (its line end, or the file's).
    const auto line = [&](QByteArrayView text, quint64 offset, quint64 end, bool withoutEnd) {
        const RecordedLine decoded = tooLong ? RecordedLine::unreadable(QStringLiteral("line too long"))
                                             : parseRecordedLine(text, withoutEnd);
        tooLong = false;
        follow(text, decoded);
        ++fileLines;
        batch->chain = chain;
        batch->chainBreak = chainBreak;
        Tag tag{decoded.kind, decoded.direction, 0};
        if (decoded.kind == RecordedLine::Kind::Unparsed) {
            ++batch->unparsed;
            if (++unreadable > MaxIndexedUnreadable && !withoutEnd) {
                if (!leftOut && lines > 0) batch->ends.emplace_back(lines - 1, lastEnd);
                leftOut = true;
                return;
            }
        }
        leftOut = false;
        lastEnd = end;
        if (decoded.kind == RecordedLine::Kind::Frame) {
            if (const auto letter = frameLetter(decoded.payload.toStdString())) tag.letter = *letter;
        } else if (decoded.kind == RecordedLine::Kind::Start) {
            ++session;
            const QJsonObject& o = decoded.object;
            batch->sessions.push_back({lines, decoded.timeMs,
                                       o.value(QLatin1StringView("port")).toString(),
                                       o.value(QLatin1StringView("program")).toString(),
                                       o.value(QLatin1StringView("version")).toString()});
        }
        if (decoded.kind != RecordedLine::Kind::Unparsed) lastTime = decoded.timeMs;
        if (lines % TimeSampleEvery == 0) batch->samples.push_back(lastTime);
        if (batch->trends.empty() || batch->trends.back().session != session) batch->trends.push_back({session, {}});
        trends.take(decoded, batch->trends.back().values);
        batch->offsets.push_back(offset);
        batch->tags.push_back(packed(tag));
        ++lines;
    };

    qint64 offset = 0;
    QByteArray block;
    bool cancelled = true; // until the end is reached
    while (!stop_) {
        block.resize(first ? FirstBlock : Block);
        const qint64 got = file.read(block.data(), block.size());
        if (got <= 0) {
            cancelled = false;
            break;
        }
        const char* data = block.constData();
        qint64 at = 0;
        while (at < got) {
            const void* found = std::memchr(data + at, '\n', static_cast<std::size_t>(got - at));
            if (!found) {
                if (pending.isEmpty() && !tooLong) pendingOffset = static_cast<quint64>(offset + at);
                pending.append(data + at, got - at);
                if (pending.size() > MaxRecordedLineBytes + 1) {
                    tooLong = true;
                    pending.clear();
                }
                break;
            }
            const qint64 nl = static_cast<const char*>(found) - data;
            const auto end = static_cast<quint64>(offset + nl);
            if (pending.isEmpty() && !tooLong) {
                line(QByteArrayView(data + at, nl - at), static_cast<quint64>(offset + at), end, false);
            } else {
                pending.append(data + at, nl - at);
                line(pending, pendingOffset, end, false);
                pending.clear();
            }
            at = nl + 1;
            batch->end = static_cast<quint64>(offset + at);
        }
        offset += got;
        batch->done = offset;
        batch->lastTimeMs = lastTime;
        const auto now = std::chrono::steady_clock::now();
        if (first || now - posted >= BatchEvery) {
            first = false;
            posted = now;
            post();
        }
    }
    if (!cancelled && (!pending.isEmpty() || tooLong)) {
        line(pending, pendingOffset, static_cast<quint64>(offset), true);
        batch->end = static_cast<quint64>(offset);
        batch->cut = true;
    }
    batch->lastTimeMs = lastTime;
    batch->last = true;
    batch->cancelled = cancelled;
    post();
}

void RecordingIndex::takeReady()
{
    std::deque<std::unique_ptr<Batch>> batches;
    {
        std::lock_guard lock(readyMutex_);
        batches.swap(ready_);
    }
    for (const auto& batch : batches) take(*batch);
}

void RecordingIndex::take(const Batch& batch)
{
    if (batch.fd >= 0) fd_ = batch.fd;
    if (!batch.error.isEmpty()) error_ = batch.error;
    const quint64 from = offsets_.size();
    offsets_.insert(offsets_.end(), batch.offsets.begin(), batch.offsets.end());
    tags_.insert(tags_.end(), batch.tags.begin(), batch.tags.end());
    ends_.insert(ends_.end(), batch.ends.begin(), batch.ends.end());
    samples_.insert(samples_.end(), batch.samples.begin(), batch.samples.end());
    if (batch.end > end_) end_ = batch.end;
    if (batch.lastTimeMs != 0) lastTimeMs_ = batch.lastTimeMs;
    unparsed_ += batch.unparsed;
    if (batch.chain != Chain::None) {
        chain_ = batch.chain;
        chainBreak_ = batch.chainBreak;
    }
    cut_ = cut_ || batch.cut;
    for (const Session& s : batch.sessions) {
        sessions_.push_back(s);
        emit sessionFound(static_cast<int>(sessions_.size()));
    }
    if (offsets_.size() > from) emit grew(from, offsets_.size());
    for (const TrendValues& values : batch.trends) emit trendValues(values);
    emit progress(batch.done, batch.total);
    if (!batch.last) return;
    cancelled_ = batch.cancelled;
    complete_ = !batch.cancelled;
    emit finished();
}

RecordingIndex::Tag RecordingIndex::tag(quint64 line) const
{
    const quint16 bits = tags_[static_cast<std::size_t>(line)];
    return {static_cast<RecordedLine::Kind>(bits & 0xF), static_cast<TrafficDirection>(bits >> 4 & 0xF),
            static_cast<char>(bits >> 8)};
}

std::pair<quint64, quint64> RecordingIndex::span(quint64 line) const
{
    const quint64 start = offsets_[static_cast<std::size_t>(line)];
    const auto gap = std::lower_bound(ends_.begin(), ends_.end(), std::pair(line, quint64(0)));
    if (gap != ends_.end() && gap->first == line) return {start, gap->second};
    quint64 end = line + 1 < lineCount() ? offsets_[static_cast<std::size_t>(line + 1)] - 1 : end_;
    if (line + 1 == lineCount() && !cut_ && end > start) --end; // its line end
    return {start, end};
}

QByteArray RecordingIndex::bytes(quint64 line) const
{
    if (line >= lineCount() || fd_ < 0) return {};
    const auto [start, end] = span(line);
    // A line too long to read is never read again either.
    const quint64 length = std::min<quint64>(end - start, MaxRecordedLineBytes + 2);
    QByteArray text(static_cast<qsizetype>(length), Qt::Uninitialized);
    quint64 done = 0;
    while (done < length) {
        const ssize_t n = ::pread(fd_, text.data() + done, length - done, static_cast<off_t>(start + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<quint64>(n);
    }
    text.truncate(static_cast<qsizetype>(done));
    return text;
}

RecordedLine RecordingIndex::read(quint64 line) const
{
    return parseRecordedLine(bytes(line), cut_ && line + 1 == lineCount());
}

quint64 RecordingIndex::lineAt(qint64 ms, quint64 first, quint64 end) const
{
    end = std::min(end, lineCount());
    if (first >= end) return first;
    // The last sample of the range before `ms`, then line by line from there.
    std::size_t low = static_cast<std::size_t>((first + TimeSampleEvery - 1) / TimeSampleEvery);
    std::size_t high = std::min(samples_.size(), static_cast<std::size_t>((end - 1) / TimeSampleEvery + 1));
    quint64 from = first;
    if (low < high) {
        const auto at = std::lower_bound(samples_.begin() + static_cast<std::ptrdiff_t>(low),
                                         samples_.begin() + static_cast<std::ptrdiff_t>(high), ms);
        if (at != samples_.begin() + static_cast<std::ptrdiff_t>(low))
            from = static_cast<quint64>(at - samples_.begin() - 1) * TimeSampleEvery;
    }
    for (quint64 n = std::max(from, first); n < end; ++n) {
        const RecordedLine l = read(n);
        if (l.kind != RecordedLine::Kind::Unparsed && l.timeMs >= ms) return n;
    }
    return end - 1;
}

quint64 RecordingIndex::sessionFirst(int number) const
{
    if (number <= 0) return 0;
    const auto start = static_cast<std::size_t>(number) - 1;
    return start < sessions_.size() ? sessions_[start].firstLine : lineCount();
}

quint64 RecordingIndex::sessionEnd(int number) const
{
    const auto next = static_cast<std::size_t>(std::max(number, 0));
    return next < sessions_.size() ? sessions_[next].firstLine : lineCount();
}

} // namespace session
