#pragma once

#include <filesystem>
#include <string>

namespace xpdrsim {

// The entry COM<n> in the port directory, pointing at our device, for as long as
// this object lives.
//
// An entry that is already there is left alone, since it may map a real adapter,
// unless it is a link to a pseudo-terminal that no longer exists or is now ours:
// that is what a simulator killed without its clean-up leaves behind, and it is
// replaced.
class PortLink {
public:
    // Creates the directory if needed. Throws std::runtime_error with a message
    // for the operator when the entry cannot be made.
    PortLink(const std::filesystem::path& directory, const std::string& name, const std::filesystem::path& target);
    // Removes the entry if it still points at our device.
    ~PortLink();
    PortLink(const PortLink&) = delete;
    PortLink& operator=(const PortLink&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
    std::filesystem::path target_;
};

} // namespace xpdrsim
