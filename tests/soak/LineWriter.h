#pragma once

#include "tests/testkit/PtyPair.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

// Writes into the master side of a pty on a thread of its own, as the far end
// of a line does. The master is non-blocking while the writer lives, so that
// stopping never hangs on a line whose reader has stopped reading.
class LineWriter {
public:
    // Fills its argument with the next write; false when there is nothing more.
    using Source = std::function<bool(std::string&)>;
    enum class AtEnd { Stop, Unplug };

    // Starts writing at once; with AtEnd::Unplug the master is closed after
    // the last write, which hangs up the line like a pulled adapter.
    LineWriter(PtyPair& pty, Source source, AtEnd atEnd = AtEnd::Stop);
    // Stops, joins, and leaves the master blocking again.
    ~LineWriter();
    LineWriter(const LineWriter&) = delete;
    LineWriter& operator=(const LineWriter&) = delete;

    void stop();
    bool finished() const { return finished_.load(); }
    std::uint64_t written() const { return written_.load(); }
    // The errno of a write that failed, 0 if none did.
    int error() const { return error_.load(); }

private:
    void run(Source source, AtEnd atEnd);
    bool writeAll(const std::string& bytes);

    PtyPair& pty_;
    int masterFlags_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<bool> finished_{false};
    std::atomic<std::uint64_t> written_{0};
    std::atomic<int> error_{0};
    std::thread thread_;
};
