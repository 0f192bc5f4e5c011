#include "tools/xpdrsim/PortLink.h"

#include <stdexcept>
#include <system_error>

namespace xpdrsim {

namespace fs = std::filesystem;

namespace {

// `ours` is the pseudo-terminal we have just opened: the kernel hands a killed
// simulator's number to the next one that asks, often to us, and a link to it
// from before is stale as well.
bool isStalePseudoTerminalLink(const fs::path& entry, const fs::path& ours)
{
    std::error_code error;
    if (!fs::is_symlink(fs::symlink_status(entry, error))) return false;
    const fs::path target = fs::read_symlink(entry, error);
    if (error || target.string().rfind("/dev/pts/", 0) != 0) return false;
    return target == ours || (!fs::exists(target, error) && !error);
}

} // namespace

PortLink::PortLink(const fs::path& directory, const std::string& name, const fs::path& target)
    : path_(directory / name), target_(target)
{
    std::error_code error;
    fs::create_directories(directory, error);
    if (error) throw std::runtime_error("cannot create " + directory.string() + ": " + error.message());

    if (isStalePseudoTerminalLink(path_, target_)) fs::remove(path_, error);
    fs::create_symlink(target_, path_, error);
    if (error == std::errc::file_exists)
        throw std::runtime_error(path_.string() + " already exists; remove it or choose another port");
    if (error) throw std::runtime_error("cannot create " + path_.string() + ": " + error.message());
}

PortLink::~PortLink()
{
    std::error_code error;
    if (fs::is_symlink(fs::symlink_status(path_, error)) && fs::read_symlink(path_, error) == target_)
        fs::remove(path_, error);
}

} // namespace xpdrsim
