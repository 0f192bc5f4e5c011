#pragma once

#include "tests/testkit/SimulatorLog.h"

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A transponder with no turnaround of its own on a 9600 bit/s line, played on
// the master side of a pseudo-terminal (which passes bytes at once, whatever
// the rate): it answers each query "L=?" with its reply for L, written when the
// reply's last byte would have arrived on the line, that is, the query's time on
// the wire plus the reply's after the query arrived. Other frames get no answer.
class PacedTransponder {
public:
    // 9600 bit/s, ten bits a byte (start, eight data, stop).
    static constexpr double ByteOnLineMs = 10.0 * 1000.0 / 9600.0;
    // A frame's time on the line, STX and ETX included.
    static double frameOnLineMs(const std::string& content);

    // `replies`: the content of the reply for each letter.
    PacedTransponder(int master, std::map<char, std::string> replies);
    ~PacedTransponder();
    PacedTransponder(const PacedTransponder&) = delete;
    PacedTransponder& operator=(const PacedTransponder&) = delete;

    void stop();
    // Every frame in and out so far; times in ms of CLOCK_MONOTONIC.
    std::vector<LoggedFrame> frames() const;
    // How late each reply went out against its due time, ms.
    std::vector<double> lateness() const;

private:
    void run();
    void answer(const std::string& query, long long arrivedNs);
    void record(LoggedFrame frame);

    int master_;
    std::map<char, std::string> replies_;
    mutable std::mutex mutex_;
    std::vector<LoggedFrame> frames_;
    std::vector<double> lateness_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};
