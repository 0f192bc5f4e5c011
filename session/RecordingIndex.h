#pragma once

#include "session/RecordedLine.h"
#include "session/RecordedTrends.h"

#include <QObject>
#include <QString>
#include <atomic>
#include <memory>
#include <mutex>
#include <deque>
#include <thread>
#include <utility>
#include <vector>

namespace session {

// A recording on file, indexed so that any of its lines can be read at once:
// one pass over the file on a worker thread notes where each line starts, what
// kind of line it is (for filtering without reading it again), the time of
// every TimeSampleEvery-th line (to find a moment), the sessions (start
// objects), the lines that do not read, and the trend values of the sequences
// and pings. Memory grows with the number of lines that read, never with their
// text: a line is read from the file again when it is wanted (read()). Of the
// lines that do not read (an empty one among them) only the first
// MaxIndexedUnreadable are indexed, and the file's partial last line; the rest
// are counted and left out, so that a file of nothing but line ends costs no
// more than its count.
//
// The index grows in batches, the first one as soon as the first block of the
// file is read, so that a view can show rows long before the pass ends; the
// pass can be cancelled, and what was indexed until then stays usable.
//
// Window thread only; the worker hands its batches over through the event
// loop.
class RecordingIndex : public QObject {
    Q_OBJECT
public:
    static constexpr quint64 TimeSampleEvery = 64;
    static constexpr quint64 MaxIndexedUnreadable = 100;

    // What the index keeps of a line.
    struct Tag {
        RecordedLine::Kind kind = RecordedLine::Kind::Unparsed;
        TrafficDirection direction = TrafficDirection::Sent; // a frame's
        char letter = 0; // a frame's letter (frameLetter), 0 when none
    };
    // One start object and the lines it heads (up to the next one). Sessions
    // are numbered as RecordingReader numbers them: the first start begins
    // session 1, and the lines before it, if any, are session 0.
    struct Session {
        quint64 firstLine = 0;
        qint64 timeMs = 0;
        QString port;
        QString program;
        QString version;
    };
    // The trend values and CSV rows of a batch's lines, for one session.
    struct TrendValues {
        int session = 0;
        RecordedTrends::Values values;
    };

    explicit RecordingIndex(QObject* parent = nullptr);
    // Stops the pass and waits for the worker.
    ~RecordingIndex() override;

    // Starts indexing `path` on the worker; an index opens one file, once.
    // Only regular files are read: false, with errorText() saying why, for
    // anything else or a name that leads nowhere, found without opening it.
    // The worker opens the file; when that fails, finished() comes with
    // errorText() set.
    bool open(const QString& path);
    // Stops the pass; finished() follows.
    void cancel();

    QString path() const { return path_; }
    QString errorText() const { return error_; }
    // The lines indexed, which are the file's lines but those left out.
    quint64 lineCount() const { return offsets_.size(); }
    Tag tag(quint64 line) const;
    // The line as it stands in the file, without its line end.
    QByteArray bytes(quint64 line) const;
    RecordedLine read(quint64 line) const;
    // The first line of [first, end) recorded at or after `ms` (by the times of
    // the lines, which the recorder writes in order); `end` - 1 when none is.
    quint64 lineAt(qint64 ms, quint64 first, quint64 end) const;
    // The time of the last line indexed that has one.
    qint64 lastTimeMs() const { return lastTimeMs_; }

    // The start objects: session n is sessions()[n - 1].
    const std::vector<Session>& sessions() const { return sessions_; }
    // The lines of session `number` (0: before the first start): [first, end).
    quint64 sessionFirst(int number) const;
    quint64 sessionEnd(int number) const;

    // The file's lines that do not read, indexed or not.
    quint64 unparsed() const { return unparsed_; }
    // The hash chain (HashChain) as the pass followed it: none, holding so far,
    // or broken at chainBreak() (the file's line, from 0). `xpdrctl verify`
    // says why.
    enum class Chain { None, Holds, Broken };
    Chain chain() const { return chain_; }
    quint64 chainBreak() const { return chainBreak_; }
    // The file ends in a line without a line end: what a crash leaves.
    bool cutLastLine() const { return cut_; }
    bool complete() const { return complete_; }
    bool cancelled() const { return cancelled_; }

signals:
    // Lines [from, to) were added.
    void grew(quint64 from, quint64 to);
    // A start object was found: session number `number` (from 1) begins.
    void sessionFound(int number);
    void trendValues(const session::RecordingIndex::TrendValues& values);
    void progress(qint64 bytesDone, qint64 bytesTotal);
    // The pass is over, complete or cancelled.
    void finished();

private:
    struct Batch;
    void run(QString path);
    std::pair<quint64, quint64> span(quint64 line) const;
    void takeReady();
    void take(const Batch& batch);

    QString path_;
    QString error_;
    int fd_ = -1; // the file as the worker opened it, read with pread()
    std::deque<quint64> offsets_;
    // Each line's Tag in two bytes: the kind, the direction above it, the
    // letter in the high byte.
    std::deque<quint16> tags_;
    // The end of each indexed line that lines left out follow, by line, in
    // order: elsewhere a line ends where the next one starts.
    std::vector<std::pair<quint64, quint64>> ends_;
    std::vector<qint64> samples_; // the time of lines 0, TimeSampleEvery, …
    quint64 end_ = 0; // the offset just past the last line indexed
    qint64 lastTimeMs_ = 0;
    std::vector<Session> sessions_;
    quint64 unparsed_ = 0;
    Chain chain_ = Chain::None;
    quint64 chainBreak_ = 0;
    bool cut_ = false;
    bool complete_ = false;
    bool cancelled_ = false;
    std::atomic<bool> stop_{false};
    // Batches the worker has finished, taken on the window thread. The lock,
    // rather than the queued call alone, orders the two threads' use of a
    // batch where the thread checker can see it.
    std::mutex readyMutex_;
    std::deque<std::unique_ptr<Batch>> ready_;
    std::thread worker_;
};

} // namespace session
