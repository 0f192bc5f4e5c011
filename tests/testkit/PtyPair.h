#pragma once

#include <chrono>
#include <string>
#include <termios.h>

// A pseudo-terminal for tests: we hold the master side and see exactly the bytes
// on the wire; the device under test opens the slave by its path. A second
// descriptor on the slave stays open so that the line lives while the device
// under test opens and closes it.
class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    const std::string& slavePath() const { return slavePath_; }
    int master() const { return master_; }
    // The pair's own descriptor on the slave side, which keeps the line up.
    int slaveHolder() const { return slaveHolder_; }

    // Sends bytes to the device under test.
    void send(const std::string& bytes);
    // Reads what the device under test wrote until `count` bytes have come or
    // `limit` has passed.
    std::string receive(std::size_t count, std::chrono::milliseconds limit = std::chrono::milliseconds(2000));
    // The line settings as the device under test left them.
    termios settings() const;
    // The output rate in bit/s, whatever way it was set.
    long outputRate() const;
    // Unplugs the line: the slave side is hung up.
    void closeMaster();

private:
    int master_ = -1;
    int slaveHolder_ = -1;
    std::string slavePath_;
};
