#pragma once

#include "transponder/PreflightCheck.h"
#include "transponder/SequenceRecord.h"

#include <string>

namespace xpdrctl {

// The nine items, one "key: text" line each; each text as forTerminal() writes
// it, an emergency code followed by its meaning: "code: 7700 (general emergency)".
std::string statusLines(const transponder::SequenceRecord& record, bool raw);
// status's JSON: the record's line with "emergency", the meaning of an
// emergency code, null for any other code.
std::string statusJsonLine(const transponder::SequenceRecord& record);
// One line per sequence for watch: the time, then key=text for the nine items
// (quoted when the text holds a blank, a quote or "="), then the letters left
// unanswered, if any.
std::string watchLine(const transponder::SequenceRecord& record, bool raw);
// The record as one line of compact JSON, with every control character escaped.
std::string jsonLine(const transponder::SequenceRecord& record);
std::string jsonLine(const QJsonObject& object);
// The check, one line an item: "mode: expected Mode C, reported Standby: FAIL",
// or "unanswered" in place of the reported value.
std::string checkLines(const std::vector<transponder::PreflightCheck::Result>& results, bool raw);

// 8-bit text from the line, for the terminal. Unless `raw`, every byte outside
// printable ASCII is written as the traffic monitor writes it (ESC as "<1B>"):
// whatever the transponder sends, it cannot move the cursor, clear the screen
// or retitle the window of whoever reads the output.
std::string forTerminal(const std::string& latin1, bool raw);

} // namespace xpdrctl
