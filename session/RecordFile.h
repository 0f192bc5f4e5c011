#pragma once

#include "framework/Timer.h"
#include "session/LineFile.h"

#include <QObject>
#include <QString>
#include <functional>
#include <list>
#include <memory>
#include <string_view>

namespace session {

class SyncWorker;

// The recorder's file: lines appended whole as they happen (LineFile), and
// flushed to storage once a second while lines arrive, so that a power loss
// costs at most about a second. The flush runs on a worker thread; with no line
// to flush nothing runs at all, no timer and no thread. The last flush and the
// closing run there too: a slow disk never holds up the window when recording
// stops.
//
// Window thread only. Errors are errno values; 0 is success.
class RecordFile : public QObject {
    Q_OBJECT
public:
    static constexpr unsigned SyncIntervalMs = 1000;
    using Sync = std::function<int(int descriptor)>;

    explicit RecordFile(QObject* parent = nullptr, fw::TimerScheduler& scheduler = fw::defaultScheduler(),
                        Sync sync = &LineFile::sync);
    ~RecordFile() override;

    int open(const QString& path);
    bool isOpen() const { return file_.isOpen(); }
    // Writes the line now; the flush follows within SyncIntervalMs.
    int append(std::string_view line);
    // Returns at once; the worker flushes what is unflushed, then closes, and
    // closed() tells how that went. Closing a closed file does nothing.
    void close();
    // Closes as close() does, telling no one: for a file given up already.
    void abandon();

signals:
    // A flush in the background failed: the file is closed already.
    void failed(int error);
    // The last flush and the closing of the file at `path` are over; `error` is
    // the first failure of the two, 0 when both went well.
    void closed(const QString& path, int error);

private:
    void flushSoon();
    void flushFailed(unsigned generation, int error);
    void finish(bool report);
    void finished(SyncWorker* worker, const QString& path, int error, bool report);

    Sync sync_;
    LineFile file_;
    fw::TTimer* flushTimer_;
    std::unique_ptr<SyncWorker> worker_;
    // Workers still flushing and closing a file of an earlier opening.
    std::list<std::unique_ptr<SyncWorker>> closing_;
    QString path_;
    bool unflushed_ = false;
    // Which opening a failure reported from the worker belongs to.
    unsigned generation_ = 0;
};

} // namespace session
