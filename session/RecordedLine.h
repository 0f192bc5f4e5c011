#pragma once

#include "session/TrafficEvent.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QJsonObject>
#include <QString>

namespace session {

// One line of a recording, decoded. The recorder writes five kinds of object,
// told apart by their keys: a start ("program"), a frame ("dir"), a sequence
// ("answered"), an alarm ("alarm") and a session's close ("close"). A line that is none of them, or that
// does not read, is Unparsed and says why in `reason`: "partial last line",
// "bad JSON", "unknown kind", "payload not Latin-1", "no time" or "line too long".
struct RecordedLine {
    enum class Kind { Start, Frame, Sequence, Alarm, Unparsed, Close };

    Kind kind = Kind::Unparsed;
    qint64 timeMs = 0; // the recorded wall time, ms since the epoch (UTC)
    // A frame: which way it went, its bytes as they were on the line, and the
    // recorder's words for it.
    TrafficDirection direction = TrafficDirection::Sent;
    QByteArray payload;
    QString description;
    // A start, a sequence, an alarm or a close: the object as it stands on the line.
    QJsonObject object;
    QString reason; // Unparsed only

    static RecordedLine unreadable(QString reason);
};

// The recorder's longest line is a few hundred bytes; a reader keeps no more of
// a line than this, and a longer one is "line too long".
inline constexpr qsizetype MaxRecordedLineBytes = 1 << 20;

// Decodes one line, without its line end. `lastLineWithoutEnd` tells that the
// line is the file's last and no line end follows it: what a crash leaves. Such
// a line that still reads as a whole object is taken as one; otherwise it is a
// "partial last line" rather than "bad JSON".
RecordedLine parseRecordedLine(QByteArrayView line, bool lastLineWithoutEnd);

// "2026-12-07T20:36:54.521Z" as ms since the epoch, the form every object on
// record carries its time in; other ISO 8601 forms are read too. False when the
// text is no time.
bool parseRecordTime(QStringView text, qint64& ms);

} // namespace session
