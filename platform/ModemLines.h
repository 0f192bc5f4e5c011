#pragma once

#include <linux/serial.h>

namespace platform {

// The modem input lines of an open terminal device. Each call returns 0 or the
// errno value of its failure. Pseudo-terminals have no modem lines, so tests put
// scripted lines in the place of the terminal's own.
class ModemLines {
public:
    virtual ~ModemLines() = default;

    // How often CTS, DSR, carrier detect and ring have changed and how many
    // breaks came, as the kernel counts them (TIOCGICOUNT).
    virtual int counters(serial_icounter_struct& counts) = 0;
    // The line states as TIOCM_* bits (TIOCMGET).
    virtual int states(int& bits) = 0;
    // Blocks until one of the lines named by the TIOCM_* `bits` changes
    // (TIOCMIWAIT). A signal delivered to the waiting thread ends the wait with
    // EINTR; a driver that cannot wait says so with its own error at once.
    virtual int waitForChange(int bits) = 0;
};

// The lines of a terminal device, through its ioctls.
class TerminalModemLines : public ModemLines {
public:
    explicit TerminalModemLines(int fd)
        : fd_(fd)
    {
    }

    int counters(serial_icounter_struct& counts) override;
    int states(int& bits) override;
    int waitForChange(int bits) override;

private:
    int fd_;
};

} // namespace platform
