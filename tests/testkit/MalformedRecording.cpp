#include "tests/testkit/MalformedRecording.h"

const std::vector<RecordingRow>& malformedRecording()
{
    static const std::vector<RecordingRow> rows = {
        {"a start", R"({"time":"2026-12-07T20:36:54.500Z","port":"COM3","program":"uavControl","version":"1.0"})",
         "start", "", 1},
        {"a query",
         R"({"time":"2026-12-07T20:36:54.521Z","dir":"out","payload":"\u0002a=?\u0003",)"
         R"("description":"query altitude"})",
         "out", "", 1},
        {"bad JSON", R"({"time":"2026-12-07T20:36:54.530Z","dir":"in","payl)", "bad", "bad JSON", 1},
        {"an unknown kind", R"({"time":"2026-12-07T20:36:54.531Z","weather":"fine"})", "bad", "unknown kind", 1},
        {"a payload not Latin-1",
         R"({"time":"2026-12-07T20:36:54.532Z","dir":"in","payload":"\u0002a=\u20ac\u0003","description":"?"})", "bad",
         "payload not Latin-1", 1},
        {"a reply",
         R"({"time":"2026-12-07T20:36:54.535Z","dir":"in","payload":"\u0002a=1025\u0003",)"
         R"("description":"reply: altitude 1025"})",
         "in", "", 1},
        {"a sequence",
         R"({"time":"2026-12-07T20:36:54.521Z","mode":"","code":"","replies":"","spi":"","altitude":"1025",)"
         R"("volts":"","offset":"","version":"","ping":"","raw":{"a":"1025"},"answered":1,"unanswered":[]})",
         "seq", "", 1},
        {"a second start", R"({"time":"2026-12-08T08:00:00.000Z","port":null,"program":"uavControl","version":"1.0"})",
         "start", "", 2},
        {"an alarm", R"({"time":"2026-12-08T08:00:01.000Z","alarm":"code","value":"7700","state":"reported"})", "alarm",
         "", 2},
        {"a partial last line", R"({"time":"2026-12-08T08:00:02.000Z","dir":"out","payl)", "bad", "partial last line",
         2},
    };
    return rows;
}

QByteArray recordingText(const std::vector<RecordingRow>& rows)
{
    QByteArray text;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        text += rows[i].line;
        if (i + 1 < rows.size()) text += '\n';
    }
    return text;
}
