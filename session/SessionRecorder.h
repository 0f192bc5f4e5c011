#pragma once

#include "framework/Timer.h"
#include "session/HashChain.h"
#include "session/RecordFile.h"
#include "session/TrafficListener.h"

#include <QJsonObject>
#include <QObject>
#include <QString>
#include <functional>
#include <string>

namespace session {

// The session on record: a JSON Lines file that grows by one object per line.
// Recording appends to what the file holds and begins with an object marking
// the start ("time", "port", "program", "version", "host", "user"); then one object per frame
// ("time", "dir", "payload", "description"), the payload being the bytes as a
// string of Latin-1 characters so that every byte comes back; one object per
// sequence of queries, written by whoever sees the sequence end; and one object
// per change of an alarm's state; a stop ends it with a close object
// ({"time", "close": {"lines", "head"}}). Every line carries its link of the
// file's hash chain (HashChain), the start's going on from the file's last.
//
// Only a regular file, or a new name, is recorded to (SaveTarget). Each line is
// written whole as it happens (RecordFile). A file that cannot be opened or
// written stops the recording with one box; the panel goes on, and the lines
// already written stay as they are.
//
// Window thread only.
class SessionRecorder : public QObject, public TrafficListener {
    Q_OBJECT
public:
    // What a frame means, in a few words, for the "description" of its object.
    using Describe = std::function<std::string(const TrafficEvent& event)>;

    explicit SessionRecorder(Describe describe, QObject* parent = nullptr,
                             fw::TimerScheduler& scheduler = fw::defaultScheduler(),
                             RecordFile::Sync sync = &LineFile::sync);
    ~SessionRecorder() override;

    // Starts recording to `path`, `port` being the port the panel has open (empty
    // when none). Recording to another file first stops the one before. False,
    // after the box, when the file cannot be opened or written.
    bool start(const QString& path, const QString& port);
    // Returns at once; the last flush and the closing follow on the recorder's
    // worker thread, and their failure gets the box too.
    void stop();
    bool recording() const { return file_.isOpen(); }
    QString path() const { return path_; }

    void traffic(const TrafficEvent& event) override;
    // The object of one finished sequence, as the command-line tool prints it.
    void sequence(const QJsonObject& object);
    // One change of an alarm: {"time", "alarm", "value", "state"} in the words of
    // transponder::AlarmModel.
    void alarm(const QString& alarm, const QString& value, const QString& state);

    // Texts of the two boxes.
    static QString cannotRecordText(const QString& path, int error);
    static QString cannotRecordText(const QString& path, const QString& reason);
    static QString stoppedText(const QString& path, int error);

signals:
    // Recording began or ended, for whatever shows it; `path` is empty when off.
    void recordingChanged(const QString& path);

private:
    void write(const QJsonObject& object);
    std::string closeLine();
    void fail(int error);

    Describe describe_;
    RecordFile file_;
    QString path_;
    HashChain chain_;
    quint64 lines_ = 0; // of this session, the start included
};

} // namespace session
