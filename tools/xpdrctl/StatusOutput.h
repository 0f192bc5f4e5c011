#pragma once

#include "transponder/SequenceRecord.h"

#include <string>

namespace xpdrctl {

// The nine items, one "key: text" line each.
std::string statusLines(const transponder::SequenceRecord& record);
// One line per sequence for watch: the time, then key=text for the nine items
// (quoted when the text holds a blank, a quote or "="), then the letters left
// unanswered, if any.
std::string watchLine(const transponder::SequenceRecord& record);
// The record as one line of compact JSON.
std::string jsonLine(const transponder::SequenceRecord& record);

// 8-bit text from the line, for the terminal.
std::string forTerminal(const std::string& latin1);

} // namespace xpdrctl
