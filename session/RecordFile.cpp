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
    close();
}

int RecordFile::open(const QString& path)
{
    close();
    if (const int error = file_.open(QFile::encodeName(path).toStdString())) return error;
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

int RecordFile::close()
{
    if (!file_.isOpen()) return 0;
    flushTimer_->setEnabled(false);
    // The worker finishes a flush it is running; what is left is flushed here.
    worker_.reset();
    int error = sync_(file_.descriptor());
    const int closing = file_.close();
    if (error == 0) error = closing;
    unflushed_ = false;
    return error;
}

} // namespace session
