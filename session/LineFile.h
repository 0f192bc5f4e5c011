#pragma once

#include <string>
#include <string_view>

namespace session {

// A text file that only ever grows by whole lines, written so that a crash or a
// kill loses nothing already written and leaves at most a partial last line:
// each line goes to the kernel in one write() as soon as it is appended.
//
// Errors are errno values; 0 is success.
class LineFile {
public:
    LineFile() = default;
    ~LineFile();
    LineFile(const LineFile&) = delete;
    LineFile& operator=(const LineFile&) = delete;

    // Opens `path` for appending, creating it if need be; never truncates. When
    // the file ends in a partial line (an earlier writer was killed mid-line),
    // the first line appended starts on a line of its own.
    int open(const std::string& path);
    bool isOpen() const { return fd_ >= 0; }
    int descriptor() const { return fd_; }

    // Writes `line` and a newline. A write the device takes only in part (a full
    // disk) is an error.
    int append(std::string_view line);

    // Flushes what was written to the storage below (fdatasync). A file with no
    // storage of its own to flush (a pipe, a terminal) counts as flushed.
    static int sync(int descriptor);

    // Closes without flushing; returns close()'s error.
    int close();
    // Gives the descriptor up to the caller, who closes it with closeDescriptor();
    // the file reads as closed from then on.
    int release();
    static int closeDescriptor(int descriptor);

private:
    int fd_ = -1;
    bool startOnNewLine_ = false;
};

} // namespace session
