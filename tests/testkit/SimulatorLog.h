#pragma once

#include <optional>
#include <string>
#include <vector>

// One frame of the simulated transponder's log:
//   14:03:22.118 in   <STX>s=?<ETX>      received by the simulator
//   14:03:22.119 out  <STX>s=t<ETX>      sent by it
// Lost frames and notes are no frames on the line.
struct LoggedFrame {
    double ms = 0;       // the time of day in milliseconds; only differences count
    bool in = false;     // received by the simulator
    std::string content; // between <STX> and <ETX>, as the log writes it
};

// The frame a log line records; nothing for any other line.
std::optional<LoggedFrame> parseLogLine(const std::string& line);
// Every frame of a log file, in order.
std::vector<LoggedFrame> readLog(const std::string& path);
