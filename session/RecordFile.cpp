#include "session/RecordFile.h"

#include "session/SyncWorker.h"

#include <QFile>

namespace session {

RecordFile::RecordFile(QObject* parent, fw::TimerScheduler& scheduler, Sync sync)
    : QObject(parent)
    , sync_(std::move(sync))
    , flushTimer_(new fw::TTimer(this, scheduler))
{
    flushTimer_->setInterval(SyncIntervalMs);
    flushTimer_->setOnTimer([this](QObject*) { flushSoon(); });
}

RecordFile::~RecordFile()
{
    // The files still closing are waited for: the program may be about to end,
    // and what was recorded must reach the disk first.
    close();
    closing_.clear();
}

int RecordFile::open(const QString& path)
{
    close();
    if (const int error = file_.open(QFile::encodeName(path).toStdString())) return error;
    path_ = path;
    ++generation_;
    const int descriptor = file_.descriptor();
    const unsigned generation = generation_;
    worker_ = std::make_unique<SyncWorker>([this, descriptor] { return sync_(descriptor); },
                                           [this, generation](int error) {
                                               // Told on the worker's thread: the rest happens on ours.
                                               QMetaObject::invokeMethod(
                                                   this, [this, generation, error] { flushFailed(generation, error); },
                                                   Qt::QueuedConnection);
                                           });
    return 0;
}

int RecordFile::append(std::string_view line)
{
    if (const int error = file_.append(line)) return error;
    unflushed_ = true;
    // The first line after a quiet spell starts the count; lines within the
    // second ride along with it.
    flushTimer_->setEnabled(true);
    return 0;
}

void RecordFile::flushSoon()
{
    flushTimer_->setEnabled(false);
    if (!unflushed_ || !worker_) return;
    unflushed_ = false;
    worker_->request();
}

void RecordFile::flushFailed(unsigned generation, int error)
{
    if (generation != generation_ || !file_.isOpen()) return;
    flushTimer_->setEnabled(false);
    worker_.reset();
    file_.close();
    unflushed_ = false;
    emit failed(error);
}

void RecordFile::close()
{
    finish(true);
}

void RecordFile::abandon()
{
    finish(false);
}

void RecordFile::finish(bool report)
{
    if (!file_.isOpen()) return;
    flushTimer_->setEnabled(false);
    unflushed_ = false;
    const int descriptor = file_.release();
    SyncWorker* worker = worker_.get();
    const QString path = path_;
    // After a flush it is running, the worker flushes what is left and closes.
    worker->finish(
        [this, descriptor] {
            const int error = sync_(descriptor);
            const int closing = LineFile::closeDescriptor(descriptor);
            return error != 0 ? error : closing;
        },
        [this, worker, path, report](int error) {
            QMetaObject::invokeMethod(
                this, [this, worker, path, error, report] { finished(worker, path, error, report); },
                Qt::QueuedConnection);
        });
    closing_.push_back(std::move(worker_));
}

void RecordFile::finished(SyncWorker* worker, const QString& path, int error, bool report)
{
    closing_.remove_if([worker](const std::unique_ptr<SyncWorker>& w) { return w.get() == worker; });
    if (report) emit closed(path, error);
}

} // namespace session
