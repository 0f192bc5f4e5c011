#include "app/SessionControls.h"

#include "app/OpenDialog.h"
#include "app/RecordingReview.h"
#include "app/SaveDialog.h"
#include "app/TrafficMonitor.h"
#include "app/TrendsWindow.h"
#include "serial/Serial2.h"
#include "session/LinkQuality.h"
#include "session/SequenceTracker.h"
#include "session/SessionRecorder.h"
#include "session/TrafficFeed.h"
#include "session/TrafficModel.h"
#include "session/TrendData.h"
#include "transponder/FrameDescription.h"
#include "transponder/SequenceRecord.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

namespace {

// What a frame means, for the monitor and the record: the protocol's own words,
// and for bytes dropped outside a frame how many there were.
std::string describe(const session::TrafficEvent& event)
{
    switch (event.direction) {
    case session::TrafficDirection::Sent:
        return transponder::describeFrame(event.bytes, transponder::Direction::Sent);
    case session::TrafficDirection::Received:
        return transponder::describeFrame(event.bytes, transponder::Direction::Received);
    case session::TrafficDirection::Noise:
        break;
    }
    return "noise: " + std::to_string(event.bytes.size()) + (event.bytes.size() == 1 ? " byte" : " bytes") +
           " dropped outside a frame";
}

} // namespace

SessionControls::SessionControls(QMainWindow& window, TSerial& serial, const transponder::StatusModel& status,
                                 QMenuBar& menus, QMenu& fileMenu, QAction& exitAction)
    : QObject(&window)
    , window_(window)
    , serial_(serial)
    , feed_(std::make_unique<session::TrafficFeed>(serial))
    , traffic_(new session::TrafficModel(describe, this))
    , recorder_(new session::SessionRecorder(describe, this))
    , trends_(new session::TrendData(this))
    , linkQuality_(new session::LinkQuality(this))
{
    setObjectName(QStringLiteral("sessionControls"));
    tracker_ = std::make_unique<session::SequenceTracker>(status, [this](const transponder::SequenceRecord& record) {
        recorder_->sequence(transponder::sequenceJson(record));
        trends_->sequenceEnded(record);
        // While a box held the panel up its replies were not read: the
        // sequence says nothing of the link.
        if (!record.interrupted)
            linkQuality_->sequenceEnded(record.answered, static_cast<int>(record.asked.size()));
    });
    for (session::TrafficListener* listener : std::initializer_list<session::TrafficListener*>{
             traffic_, recorder_, trends_, linkQuality_})
        feed_->addListener(listener);

    connect(recorder_, &session::SessionRecorder::recordingChanged, this, &SessionControls::recordingChanged);
    connect(linkQuality_, &session::LinkQuality::textChanged, this, [this](const QString& text) {
        emit linkQualityShown(text, text.isEmpty() ? QString()
                                                   : QStringLiteral("Queries of the last sequence answered, and "
                                                                    "when the transponder was last heard from"));
    });
    addMenus(menus, fileMenu, exitAction);
}

SessionControls::~SessionControls()
{
    // The windows show what this object holds: they go first.
    delete monitor_;
    delete trendsWindow_;
}

void SessionControls::addMenus(QMenuBar& menus, QMenu& fileMenu, QAction& exitAction)
{
    auto* record = new QAction(QStringLiteral("&Record Session…"), &fileMenu);
    record->setObjectName(QStringLiteral("mnuRecordSession"));
    stopRecording_ = new QAction(QStringLiteral("&Stop Recording"), &fileMenu);
    stopRecording_->setObjectName(QStringLiteral("mnuStopRecording"));
    stopRecording_->setEnabled(false);
    auto* open = new QAction(QStringLiteral("&Open Recording…"), &fileMenu);
    open->setObjectName(QStringLiteral("mnuOpenRecording"));
    fileMenu.insertAction(&exitAction, record);
    fileMenu.insertAction(&exitAction, stopRecording_);
    fileMenu.insertAction(&exitAction, open);
    fileMenu.insertSeparator(&exitAction);
    connect(record, &QAction::triggered, this, &SessionControls::chooseRecordFile);
    connect(open, &QAction::triggered, this, &SessionControls::chooseRecording);
    connect(stopRecording_, &QAction::triggered, this, &SessionControls::stopRecording);

    QMenu* view = menus.addMenu(QStringLiteral("&View"));
    view->setObjectName(QStringLiteral("View1"));
    QAction* monitor = view->addAction(QStringLiteral("&Traffic Monitor"));
    monitor->setObjectName(QStringLiteral("mnuTrafficMonitor"));
    QAction* trends = view->addAction(QStringLiteral("T&rends"));
    trends->setObjectName(QStringLiteral("mnuTrends"));
    connect(monitor, &QAction::triggered, this, &SessionControls::showMonitor);
    connect(trends, &QAction::triggered, this, &SessionControls::showTrends);
}

bool SessionControls::startRecording(const QString& path)
{
    const QString port = serial_.Active() ? QStringLiteral("COM%1").arg(serial_.Port()) : QString();
    return recorder_->start(path, port);
}

void SessionControls::stopRecording()
{
    recorder_->stop();
}

void SessionControls::chooseRecordFile()
{
    SaveDialog dialog(&window_, QStringLiteral("record"), QStringLiteral("Record Session"),
                      QDateTime::currentDateTime().toString(QStringLiteral("'session-'yyyyMMdd-HHmmss'.jsonl'")),
                      QStringLiteral("JSON Lines (*.jsonl);;All files (*)"));
    // The record is added to an existing file, never written over it: there is
    // nothing to confirm.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (const QString path = dialog.choose(); !path.isEmpty()) startRecording(path);
}

void SessionControls::chooseRecording()
{
    OpenDialog dialog(&window_, QStringLiteral("recording"), QStringLiteral("Open Recording"),
                      QStringLiteral("JSON Lines (*.jsonl);;All files (*)"));
    if (const QString path = dialog.choose(); !path.isEmpty()) openRecording(path);
}

RecordingReview* SessionControls::openRecording(const QString& path)
{
    auto* review = new RecordingReview(path, window_.windowIcon(), this);
    if (review->open()) return review;
    delete review;
    return nullptr;
}

void SessionControls::recordingChanged(const QString& path)
{
    stopRecording_->setEnabled(!path.isEmpty());
    if (path.isEmpty())
        emit recordingShown(QString(), QString());
    else
        emit recordingShown(QStringLiteral("Recording %1").arg(QFileInfo(path).fileName()),
                            QStringLiteral("Recording the session to %1").arg(QDir::toNativeSeparators(path)));
}

TrafficMonitor* SessionControls::showMonitor()
{
    if (!monitor_) monitor_ = new TrafficMonitor(*traffic_);
    bringUp(monitor_);
    return monitor_;
}

TrendsWindow* SessionControls::showTrends()
{
    if (!trendsWindow_) trendsWindow_ = new TrendsWindow(*trends_);
    bringUp(trendsWindow_);
    return trendsWindow_;
}

// The windows have no parent: the main window's look (its fonts and sizes,
// set for its fixed layout) is not theirs. They close with the program, not
// keep it running once the main window has closed.
void SessionControls::bringUp(QWidget* window)
{
    window->setAttribute(Qt::WA_QuitOnClose, false);
    window->setWindowIcon(window_.windowIcon());
    window->show();
    window->raise();
    window->activateWindow();
}

void SessionControls::sequenceStarted()
{
    tracker_->sequenceStarted();
}

void SessionControls::querySent(char letter)
{
    tracker_->querySent(letter);
}

void SessionControls::replyDecoded(const transponder::Reply& reply)
{
    tracker_->replyDecoded(reply);
}

void SessionControls::sequenceStopped()
{
    tracker_->sequenceStopped();
}
