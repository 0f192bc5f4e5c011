#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

// A recording with every fault a reader of recordings must count and show
// rather than drop, one line a row: two sessions (two start objects), a line
// of bad JSON, an object of an unknown kind, a frame whose payload is not
// Latin-1, an alarm, and a partial last line, as a crash leaves it.
struct RecordingRow {
    const char* what;
    QByteArray line;       // as written, without its line end
    const char* shownAs;   // "start", "out", "in", "seq", "alarm", or "bad"
    const char* reason;    // why a "bad" line does not read; empty otherwise
    int session;           // 1 or 2
};

const std::vector<RecordingRow>& malformedRecording();
// The rows as the file holds them: a line end after each but the last.
QByteArray recordingText(const std::vector<RecordingRow>& rows);
