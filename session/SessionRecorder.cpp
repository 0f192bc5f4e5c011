#include "session/SessionRecorder.h"

#include "framework/Application.h"
#include "framework/MessageBoxes.h"
#include "session/RecordTime.h"
#include "session/SaveTarget.h"
#include "version/ProgramVersion.h"

#include <QFile>
#include <QJsonDocument>
#include <QSysInfo>
#include <cstring>
#include <pwd.h>
#include <unistd.h>

namespace session {

namespace {

std::string jsonLine(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

// The chain of the file's last chained line, or none: where the new session's
// chain goes on from.
QByteArray lastChainOf(const QString& path)
{
    constexpr qint64 Tail = 64 * 1024;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return HashChain().head();
    file.seek(std::max<qint64>(0, file.size() - Tail));
    return HashChain::lastChain(file.read(Tail));
}

QString userName()
{
    if (const passwd* entry = ::getpwuid(::getuid())) return QString::fromLocal8Bit(entry->pw_name);
    return QString::fromLocal8Bit(qgetenv("USER"));
}

QString systemText(int error)
{
    char buffer[256];
    return QString::fromLocal8Bit(::strerror_r(error, buffer, sizeof buffer));
}

} // namespace

SessionRecorder::SessionRecorder(Describe describe, QObject* parent, fw::TimerScheduler& scheduler,
                                 RecordFile::Sync sync)
    : QObject(parent)
    , describe_(std::move(describe))
    , file_(nullptr, scheduler, std::move(sync))
{
    connect(&file_, &RecordFile::failed, this, &SessionRecorder::fail);
    // The last flush ends after stop() has returned; its failure gets the same
    // box as a flush that fails while recording.
    connect(&file_, &RecordFile::closed, this, [](const QString& path, int error) {
        if (error != 0)
            fw::MessageBox(stoppedText(path, error), fw::Application::instance().title(), fw::MsgButtons::Ok,
                           fw::MsgIcon::Error);
    });
}

SessionRecorder::~SessionRecorder()
{
    // Whatever is still unflushed goes to storage; there is no one left to tell
    // of a failure.
    if (recording()) file_.append(closeLine());
    file_.close();
}

QString SessionRecorder::cannotRecordText(const QString& path, int error)
{
    return cannotRecordText(path, systemText(error));
}

QString SessionRecorder::cannotRecordText(const QString& path, const QString& reason)
{
    return QStringLiteral("Cannot record the session to \"%1\": %2.").arg(path, reason);
}

QString SessionRecorder::stoppedText(const QString& path, int error)
{
    return QStringLiteral("Recording to \"%1\" has stopped: %2. The lines written before it are kept.")
        .arg(path, systemText(error));
}

bool SessionRecorder::start(const QString& path, const QString& port)
{
    stop();
    // A device or a pipe is never opened: opening one can block, or stir a line.
    if (const QString refused = SaveTarget::refusal(path); !refused.isEmpty()) {
        fw::MessageBox(cannotRecordText(path, refused), fw::Application::instance().title(), fw::MsgButtons::Ok,
                       fw::MsgIcon::Error);
        return false;
    }
    QJsonObject start;
    start[QStringLiteral("time")] = recordTime(std::chrono::system_clock::now());
    start[QStringLiteral("port")] = port.isEmpty() ? QJsonValue() : QJsonValue(port);
    start[QStringLiteral("program")] = QStringLiteral("uavControl");
    start[QStringLiteral("version")] = QString::fromLatin1(fw::ProgramVersion);
    start[QStringLiteral("host")] = QSysInfo::machineHostName();
    start[QStringLiteral("user")] = userName();
    // The regular file (SaveTarget) is read before it is opened to append.
    chain_.setHead(lastChainOf(path));
    lines_ = 1;
    // A device that takes no byte (a full disk) fails here, on the first line:
    // the same box as a file that does not open.
    int error = file_.open(path);
    if (error == 0) error = file_.append(chain_.seal(jsonLine(start)));
    if (error != 0) {
        file_.abandon();
        fw::MessageBox(cannotRecordText(path, error), fw::Application::instance().title(), fw::MsgButtons::Ok,
                       fw::MsgIcon::Error);
        return false;
    }
    path_ = path;
    emit recordingChanged(path_);
    return true;
}

void SessionRecorder::stop()
{
    if (!recording()) return;
    if (const int error = file_.append(closeLine())) return fail(error);
    file_.close();
    path_.clear();
    emit recordingChanged(QString());
}

void SessionRecorder::traffic(const TrafficEvent& event)
{
    if (!recording()) return;
    QJsonObject frame;
    frame[QStringLiteral("time")] = recordTime(event.time);
    frame[QStringLiteral("dir")] = QLatin1String(directionName(event.direction));
    frame[QStringLiteral("payload")] =
        QString::fromLatin1(event.bytes.data(), static_cast<qsizetype>(event.bytes.size()));
    frame[QStringLiteral("description")] = QString::fromStdString(describe_(event));
    write(frame);
}

void SessionRecorder::sequence(const QJsonObject& object)
{
    if (recording()) write(object);
}

void SessionRecorder::alarm(const QString& alarm, const QString& value, const QString& state)
{
    if (!recording()) return;
    QJsonObject object;
    object[QStringLiteral("time")] = recordTime(std::chrono::system_clock::now());
    object[QStringLiteral("alarm")] = alarm;
    object[QStringLiteral("value")] = value;
    object[QStringLiteral("state")] = state;
    write(object);
}

void SessionRecorder::write(const QJsonObject& object)
{
    ++lines_;
    if (const int error = file_.append(chain_.seal(jsonLine(object)))) fail(error);
}

// The session's last line: how many it wrote and the chain they end in, so
// that lines cut from its end show.
std::string SessionRecorder::closeLine()
{
    QJsonObject close;
    close[QStringLiteral("lines")] = static_cast<qint64>(lines_);
    close[QStringLiteral("head")] = HashChain::hex(chain_.head());
    QJsonObject object;
    object[QStringLiteral("time")] = recordTime(std::chrono::system_clock::now());
    object[QStringLiteral("close")] = close;
    return chain_.seal(jsonLine(object));
}

// The file is given up before the box opens: lines that arrive while it is open
// (its loop serves the serial hand-offs) find the recorder stopped, and no
// second box follows.
void SessionRecorder::fail(int error)
{
    const QString path = path_;
    file_.abandon();
    path_.clear();
    emit recordingChanged(QString());
    fw::MessageBox(stoppedText(path, error), fw::Application::instance().title(), fw::MsgButtons::Ok,
                   fw::MsgIcon::Error);
}

} // namespace session
