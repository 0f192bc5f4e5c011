#pragma once

#include "session/SequenceObserver.h"

#include <QObject>
#include <QPointer>
#include <memory>

class QAction;
class QMainWindow;
class QMenu;
class QMenuBar;
class QWidget;
class RecordingReview;
class TSerial;
class TrafficMonitor;
class TrendsWindow;

namespace session {
class LinkQuality;
class SequenceTracker;
class SessionRecorder;
class TrafficFeed;
class TrafficModel;
class TrendData;
} // namespace session

namespace transponder {
class StatusModel;
}

// The session on record, as the main window offers it: File → "Record
// Session…", "Stop Recording" and "Open Recording…" (a review, in windows of
// its own) above "Exit", a "View" menu after "Setup" with
// the traffic monitor and the trends, and the texts of the status bar's
// recording and link-quality sections.
//
// It taps the serial component once, for the monitor's lines, the record, the
// trends and the link quality, which it keeps from the start whether their
// windows are open or not. The window tells it of its sequences.
class SessionControls : public QObject, public session::SequenceObserver {
    Q_OBJECT
public:
    // `status` is the window's status display as data; the sequence records
    // take their nine items from it. Every argument must outlive this object.
    SessionControls(QMainWindow& window, TSerial& serial, const transponder::StatusModel& status, QMenuBar& menus,
                    QMenu& fileMenu, QAction& exitAction);
    ~SessionControls() override;

    // Starts recording to `path`; false, after one box, when it cannot.
    bool startRecording(const QString& path);
    void stopRecording();

    // Opens a recording for review; null, after a box, when it cannot be read.
    RecordingReview* openRecording(const QString& path);

    // Opens the window (or brings it forward) and returns it.
    TrafficMonitor* showMonitor();
    TrendsWindow* showTrends();

    session::SessionRecorder& recorder() { return *recorder_; }
    session::TrafficModel& traffic() { return *traffic_; }
    session::TrendData& trends() { return *trends_; }
    session::LinkQuality& linkQuality() { return *linkQuality_; }

    void sequenceStarted() override;
    void querySent(char letter) override;
    void replyDecoded(const transponder::Reply& reply) override;
    void sequenceStopped() override;

signals:
    // The texts of the status bar's sections, and their tooltips.
    void recordingShown(const QString& text, const QString& toolTip);
    void linkQualityShown(const QString& text, const QString& toolTip);

private:
    void addMenus(QMenuBar& menus, QMenu& fileMenu, QAction& exitAction);
    void chooseRecordFile();
    void chooseRecording();
    void recordingChanged(const QString& path);
    void bringUp(QWidget* window);

    QMainWindow& window_;
    TSerial& serial_;
    std::unique_ptr<session::TrafficFeed> feed_;
    session::TrafficModel* traffic_;
    session::SessionRecorder* recorder_;
    session::TrendData* trends_;
    session::LinkQuality* linkQuality_;
    std::unique_ptr<session::SequenceTracker> tracker_;
    QAction* stopRecording_ = nullptr;
    QPointer<TrafficMonitor> monitor_;
    QPointer<TrendsWindow> trendsWindow_;
};
