#include "tests/testkit/PortDirectory.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <unistd.h>

PortDirectory::PortDirectory()
{
    char pattern[] = "/tmp/uavcontrol-ports-XXXXXX";
    if (!::mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
    if (const char* previous = std::getenv("UAVCONTROL_PORTS")) {
        hadPrevious_ = true;
        previous_ = previous;
    }
    ::setenv("UAVCONTROL_PORTS", path_.c_str(), 1);
}

PortDirectory::~PortDirectory()
{
    if (hadPrevious_) ::setenv("UAVCONTROL_PORTS", previous_.c_str(), 1);
    else ::unsetenv("UAVCONTROL_PORTS");
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string PortDirectory::entry(int number) const
{
    return path_ + "/COM" + std::to_string(number);
}

void PortDirectory::map(int number, const std::string& target) const
{
    const std::string link = entry(number);
    ::unlink(link.c_str());
    if (::symlink(target.c_str(), link.c_str()) != 0) throw std::runtime_error("symlink failed");
}

void PortDirectory::write(int number, const std::string& content) const
{
    const std::string file = entry(number);
    ::unlink(file.c_str());
    std::ofstream(file, std::ios::binary | std::ios::trunc) << content;
}
