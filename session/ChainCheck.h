#pragma once

#include <QString>
#include <cstdint>

namespace session {

// A recording's hash chain (HashChain) followed from its first line to its
// last: whether it holds, and where and why it breaks when it does not.
struct ChainCheck {
    enum class Verdict { Holds, NoChain, Broken, Unreadable };

    Verdict verdict = Verdict::NoChain;
    std::uint64_t lines = 0; // read, up to the break
    int sessions = 0;
    QString head;              // the last chain, in hex, when it holds
    std::uint64_t brokenAt = 0; // the line (from 1)
    QString why;                // "edited", "removed", …, or why the file could not be read
    bool cutLastLine = false;   // the last line was cut by a crash: no break
};

ChainCheck checkChain(const QString& path);

} // namespace session
