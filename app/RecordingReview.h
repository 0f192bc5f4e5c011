#pragma once

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

class ReviewBar;
class TrafficMonitor;
class TrendsWindow;

namespace session {
class RecordedTrafficModel;
class RecordingIndex;
class TrendData;
} // namespace session

// File → "Open Recording…": a recording opened read-only in a Traffic Monitor
// and a Trends window of its own, titled with the file name, beside the live
// ones. The file is indexed on a worker (RecordingIndex) while the first rows
// already show; the monitor reads its rows from the file as they are shown;
// the trends of each session are gathered in the same pass and thin as the
// live ones do. The review bar picks the session and moves both windows to a
// moment.
//
// The review ends when its monitor closes; its trends window closes with it.
class RecordingReview : public QObject {
    Q_OBJECT
public:
    RecordingReview(const QString& path, const QIcon& icon, QObject* parent = nullptr);
    ~RecordingReview() override;

    // Starts reading the file and shows the windows; false, after a box, when
    // the name is no regular file. The file is opened and read off the window
    // thread: when the opening fails, the box comes then and the windows close.
    bool open();

    // Shows session `number` (1 for the first start; 0 for the lines before
    // it, as the tools count them), at its start.
    void chooseSession(int number);
    // Moves both windows to the moment `ms` (since the epoch) of the session.
    void goTo(qint64 ms);

    session::RecordingIndex& index() { return *index_; }
    session::RecordedTrafficModel& lines() { return *lines_; }
    session::TrendData& trends(int session);
    TrafficMonitor* monitor() const { return monitor_; }
    TrendsWindow* trendsWindow() const { return trendsWindow_; }
    ReviewBar* bar() const;

signals:
    // The index is complete or was cancelled.
    void indexed();

private:
    void sessionFound(int number);
    void grew();
    void finished();
    void refuse() const;
    void showTrends();
    void updateNote();
    qint64 sessionLastMs() const;
    void bringUp(QWidget* window);

    QString path_;
    QString name_;
    QIcon icon_;
    session::RecordingIndex* index_;
    session::RecordedTrafficModel* lines_;
    std::vector<session::TrendData*> trends_;
    QPointer<TrafficMonitor> monitor_;
    QPointer<TrendsWindow> trendsWindow_;
    // In the monitor: gone with it, while batches may still come before this
    // object goes too.
    QPointer<ReviewBar> bar_;
    int session_ = 0;
    // The moment chosen; none while the windows follow the end of what is
    // indexed.
    std::optional<qint64> moment_;
    qint64 lastRedraw_ = 0;
};
