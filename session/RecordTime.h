#pragma once

#include <QString>
#include <chrono>

namespace session {

// ISO 8601 in UTC to the millisecond, "2026-12-07T20:36:54.521Z": the time of
// every object on record.
QString recordTime(std::chrono::system_clock::time_point time);

} // namespace session
