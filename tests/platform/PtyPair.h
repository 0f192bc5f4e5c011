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

// A temporary port directory named by UAVCONTROL_PORTS for the lifetime of the
// object; the previous value comes back afterwards.
class PortDirectory {
public:
    PortDirectory();
    ~PortDirectory();
    PortDirectory(const PortDirectory&) = delete;
    PortDirectory& operator=(const PortDirectory&) = delete;

    const std::string& path() const { return path_; }
    // Makes COM<number> a link to `target`.
    void map(int number, const std::string& target) const;

private:
    std::string path_;
    bool hadPrevious_ = false;
    std::string previous_;
};
