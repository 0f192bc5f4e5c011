#pragma once

#include <string>

// A temporary port directory named by UAVCONTROL_PORTS for the lifetime of the
// object; the previous value comes back afterwards. Programs started meanwhile
// inherit it.
class PortDirectory {
public:
    PortDirectory();
    ~PortDirectory();
    PortDirectory(const PortDirectory&) = delete;
    PortDirectory& operator=(const PortDirectory&) = delete;

    const std::string& path() const { return path_; }
    // The entry COM<number>, whether it exists or not.
    std::string entry(int number) const;
    // Makes COM<number> a link to `target`.
    void map(int number, const std::string& target) const;
    // Makes COM<number> a file holding `content`: a network port.
    void write(int number, const std::string& content) const;

private:
    std::string path_;
    bool hadPrevious_ = false;
    std::string previous_;
};
