#pragma once

#include "session/RecordedLine.h"

#include <QFile>
#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

namespace session {

// Reads a recording from the first line to the last, one line at a time, and
// keeps count of what it has read: each start object begins a session (the
// first is session 1); lines before the first start belong to none (session 0).
// A line that does not read is handed on as Unparsed like any other and listed
// with its number, so that whoever reads a recording can say what it left out.
//
// Whatever the input, the reader holds at most one line of MaxRecordedLineBytes
// and the first MaxListedUnreadable unreadable lines (the rest are counted), and
// looks at each byte once: a file of nothing but line ends, an endless pipe or
// a line of gigabytes is read in bounded memory and linear time. It reads a
// regular file or a pipe; a device, a socket or a folder is refused.
class RecordingReader {
public:
    struct Line {
        RecordedLine line;
        // The line's bytes without its line end, until the next line is read;
        // empty for a line too long to keep.
        QByteArrayView raw;
        bool lastWithoutEnd = false; // the file's last line, without a line end
        std::uint64_t number = 0; // 1-based
        int session = 0;          // 0: before the first start
    };
    struct Unreadable {
        std::uint64_t number;
        int session;
        QString reason;
    };

    static constexpr std::size_t MaxListedUnreadable = 100;

    // Decoding::Raw hands on each line's bytes alone, undecoded (and counts
    // nothing), for a reader that decodes only the lines it needs.
    enum class Decoding { Lines, Raw };

    explicit RecordingReader(const QString& path, Decoding decoding = Decoding::Lines);

    // False, with errorString(), when the file cannot be opened.
    bool open();
    QString errorString() const { return error_.isEmpty() ? file_.errorString() : error_; }
    // The next line, or false at the end of the file or on a read error
    // (errorString() then says so, and readFailed() is true).
    bool next(Line& out);
    bool readFailed() const { return readFailed_; }

    int sessions() const { return sessions_; }
    std::uint64_t linesBeforeFirstStart() const { return beforeFirstStart_; }
    // The first MaxListedUnreadable lines that did not read, and how many did.
    const std::vector<Unreadable>& unreadable() const { return unreadable_; }
    std::uint64_t unreadableCount() const { return unreadableCount_; }

private:
    bool fill();
    void take(Line& out, const RecordedLine& line);

    QString path_;
    Decoding decoding_;
    QString error_;
    QFile file_;
    QByteArray buffer_;
    qsizetype at_ = 0;      // where the next line starts
    qsizetype scanned_ = 0; // up to here no line end follows at_
    bool skipping_ = false; // within a line too long to keep: its bytes are dropped
    bool atEnd_ = false;
    bool readFailed_ = false;
    std::uint64_t number_ = 0;
    int sessions_ = 0;
    std::uint64_t beforeFirstStart_ = 0;
    std::vector<Unreadable> unreadable_;
    std::uint64_t unreadableCount_ = 0;
};

// One session of a recording read whole: its lines go to `each` in order, and
// the file's sessions and the lines that did not read come back.
// `session` is 1-based. `error` is empty when the file was read to its end and
// holds that session; otherwise it says what went wrong.
struct SessionRead {
    int sessions = 0;
    std::vector<QJsonObject> starts; // each session's start object, in order
    std::uint64_t linesBeforeFirstStart = 0;
    std::vector<RecordingReader::Unreadable> unreadable; // the first of them
    std::uint64_t unreadableCount = 0;
    QString error;
};
SessionRead readSession(const QString& path, int session, const std::function<void(const RecordedLine&)>& each);

// What a command-line program writes on stderr about a recording read: one line
// for each line that did not read ("FILE: line 12: bad JSON"), and one for the
// lines before the first start; past the first MaxListedUnreadable, one line
// that counts the rest. Empty when there is nothing to say.
QString readReport(const QString& path, const SessionRead& read);

} // namespace session
