#pragma once

#include "platform/PosixSerialDevice.h"

#include <string>

namespace xpdrctl {

// A terminal device named by its path instead of a COM name: whatever name the
// serial component opens, this device opens the path.
class PathDevice : public platform::PosixSerialDevice {
public:
    explicit PathDevice(std::string path)
        : path_(std::move(path))
    {
    }
    int open(const std::string&) override { return openPath(path_); }

private:
    std::string path_;
};

} // namespace xpdrctl
