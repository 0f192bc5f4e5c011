#include "bench/session/RecordingGenerator.h"

#include "session/HashChain.h"
#include "session/RecordTime.h"
#include "tools/xpdrsim/Transponder.h"
#include "transponder/FrameDescription.h"
#include "transponder/MessageSet.h"
#include "transponder/ReplyParser.h"
#include "transponder/SequenceRecord.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

namespace bench {

namespace {

namespace MessageSet = transponder::MessageSet;
using std::chrono::milliseconds;
using Clock = std::chrono::system_clock;

constexpr milliseconds SequencePeriod{2000};
constexpr milliseconds QuerySpacing{60};
constexpr milliseconds ReplyDelay{8};
constexpr int PingEverySequences = 15;

class Writer {
public:
    Writer(QFile& file, std::uint64_t lines) : file_(file), left_(lines) {}

    bool full() const { return left_ == 0; }
    bool failed() const { return failed_; }

    void write(const QJsonObject& object)
    {
        if (full()) return;
        // Chained as the recorder chains its lines.
        QByteArray line = QByteArray::fromStdString(
            chain_.seal(QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString()));
        line += '\n';
        if (file_.write(line) != line.size()) failed_ = true;
        --left_;
    }

    void frame(Clock::time_point time, transponder::Direction direction, const std::string& bytes)
    {
        QJsonObject object;
        object[QStringLiteral("time")] = session::recordTime(time);
        object[QStringLiteral("dir")] =
            direction == transponder::Direction::Sent ? QStringLiteral("out") : QStringLiteral("in");
        object[QStringLiteral("payload")] = QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
        object[QStringLiteral("description")] = QString::fromStdString(transponder::describeFrame(bytes, direction));
        write(object);
    }

private:
    QFile& file_;
    std::uint64_t left_;
    session::HashChain chain_;
    bool failed_ = false;
};

} // namespace

bool writeRecording(const QString& path, std::uint64_t lines)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    Writer out(file, lines);
    const Clock::time_point origin = Clock::now() - milliseconds(SequencePeriod * (lines / 29 + 1));

    QJsonObject start;
    start[QStringLiteral("time")] = session::recordTime(origin);
    start[QStringLiteral("port")] = QStringLiteral("COM3");
    start[QStringLiteral("program")] = QStringLiteral("uavControl");
    start[QStringLiteral("version")] = QStringLiteral("generated");
    out.write(start);

    xpdrsim::Transponder unit(milliseconds(0), 0);
    transponder::StatusModel status;
    for (long long n = 0; !out.full(); ++n) {
        const milliseconds at = SequencePeriod * n;
        transponder::SequenceRecord record;
        record.time = origin + at;
        milliseconds t = at;
        for (char letter : MessageSet::SequenceLetters) {
            out.frame(origin + t, transponder::Direction::Sent, MessageSet::Query(letter));
            for (const std::string& reply : unit.receive(MessageSet::Query(letter), t + ReplyDelay)) {
                out.frame(origin + t + ReplyDelay, transponder::Direction::Received, reply);
                if (const auto decoded = transponder::parseReply(reply)) {
                    status.apply(*decoded);
                    record.raw[decoded->letter] = decoded->value;
                    ++record.answered;
                }
            }
            t += QuerySpacing;
        }
        record.status = status;
        out.write(transponder::sequenceJson(record));
        if (n % PingEverySequences == PingEverySequences - 1) {
            out.frame(origin + t, transponder::Direction::Sent, MessageSet::FirePing());
            for (const std::string& reply : unit.receive(MessageSet::FirePing(), t + ReplyDelay)) {
                out.frame(origin + t + ReplyDelay, transponder::Direction::Received, reply);
                if (const auto decoded = transponder::parseReply(reply)) status.apply(*decoded);
            }
        }
    }
    return !out.failed() && file.flush();
}

} // namespace bench
