#pragma once

#include <string>

namespace xpdrsim {

// A pseudo-terminal whose slave side plays the transponder's serial port.
//
// The master is ours to read and write, non-blocking. We keep the slave open as
// well: otherwise each time the panel closed the port the master would hang up,
// and the kernel would forget the line settings between connections.
class PseudoTerminal {
public:
    // Throws std::system_error when no pseudo-terminal can be had.
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    int master() const { return master_; }
    const std::string& slavePath() const { return slavePath_; }

    // Puts the line back as a fresh port would be once nobody holds it: raw mode,
    // nothing waiting for the next reader, and no exclusive hold. Because we keep
    // the slave open the kernel never does this itself; a panel that died without
    // closing properly would otherwise leave the port locked (TIOCEXCL) and the
    // next one would read stale replies.
    void resetLine();

private:
    void makeRaw();

    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};

} // namespace xpdrsim
