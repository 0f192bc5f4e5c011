#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <string>
#include <string_view>

namespace session {

// The chain that makes damage to a record, and casual edits, show. Each line
// the recorder writes ends in a field "chain": the SHA-256, in hex, of the
// previous line's chain (its 32 bytes; 32 zero bytes before the file's first
// chained line) followed by this line's bytes with its own chain field cut out
// as text (",\"chain\":\"…\"" before the closing brace). The bytes are taken as
// they stand on the line, never as JSON written again, whose key order is
// not ours to keep.
//
// A session's start line chains to the last line already in the file, so the
// sessions of a file make one chain; its close line ({"close": {"lines",
// "head"}}) says how many lines the session wrote and the chain before it.
//
// It shows an accident or an edit by hand. Someone who rewrites every chain
// field from the edit on is not found out: only a head kept elsewhere (a
// logbook) shows that.
class HashChain {
public:
    static constexpr qsizetype DigestBytes = 32;

    // `object` (compact JSON, "{…}") with its chain field, which becomes the head.
    std::string seal(std::string_view object);
    QByteArray head() const { return head_; }
    void setHead(const QByteArray& head) { head_ = head; }
    static QString hex(const QByteArray& digest) { return QString::fromLatin1(digest.toHex()); }

    // The chain `previous` → the line whose body (the line without its chain
    // field) is `open` and its closing brace.
    static QByteArray link(QByteArrayView previous, QByteArrayView open);
    // A line split into its body without the closing brace, and its chain's 32
    // bytes; false when it carries no chain field at its end.
    static bool split(QByteArrayView line, QByteArrayView& open, QByteArray& chain);
    // The chain of the last chained line of a file's `tail` (its last few KB), or
    // 32 zero bytes when there is none: where a new session's chain goes on from.
    static QByteArray lastChain(QByteArrayView tail);

private:
    QByteArray head_ = QByteArray(DigestBytes, '\0');
};

} // namespace session
