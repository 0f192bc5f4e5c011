#include "platform/PortDirectoryOnly.h"

namespace platform {

namespace {

thread_local bool directoryOnly = false;

} // namespace

PortDirectoryOnly::PortDirectoryOnly()
    : previous_(directoryOnly)
{
    directoryOnly = true;
}

PortDirectoryOnly::~PortDirectoryOnly()
{
    directoryOnly = previous_;
}

bool PortDirectoryOnly::active()
{
    return directoryOnly;
}

} // namespace platform
