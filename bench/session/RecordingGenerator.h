#pragma once

#include <QString>
#include <cstdint>

namespace bench {

// Writes a recording as the panel makes one in Auto at the shortest period: a
// start object, then a sequence every 2 s (fourteen queries 60 ms apart, each
// answered 8 ms later by the simulated transponder, and the sequence's object),
// and a ping every 30 s; `lines` lines in all, the last one whole. A day of it
// is about 1.25 million lines. False when the file cannot be written.
bool writeRecording(const QString& path, std::uint64_t lines);

} // namespace bench
