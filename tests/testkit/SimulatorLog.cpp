#include "tests/testkit/SimulatorLog.h"

#include <cstdio>
#include <fstream>

std::optional<LoggedFrame> parseLogLine(const std::string& line)
{
    int h = 0, m = 0, s = 0, ms = 0;
    char direction[8] = {};
    if (std::sscanf(line.c_str(), "%d:%d:%d.%d %7s", &h, &m, &s, &ms, direction) != 5) return std::nullopt;
    const std::string dir = direction;
    if (dir != "in" && dir != "out") return std::nullopt;
    // Junk sent in front of a frame stands before its <STX>.
    const std::size_t stx = line.find("<STX>");
    const std::size_t etx = line.rfind("<ETX>");
    if (stx == std::string::npos || etx == std::string::npos || etx < stx) return std::nullopt;
    return LoggedFrame{((h * 60.0 + m) * 60.0 + s) * 1000.0 + ms, dir == "in", line.substr(stx + 5, etx - stx - 5)};
}

std::vector<LoggedFrame> readLog(const std::string& path)
{
    std::vector<LoggedFrame> frames;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line))
        if (auto frame = parseLogLine(line)) frames.push_back(std::move(*frame));
    return frames;
}
