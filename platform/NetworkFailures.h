#pragma once

#include <string>

namespace platform {

// What the last failed opening of each network port saw, in words: the
// resolver's own text, what the server said before it closed, which answer
// did not come. The component reports only the error code; a diagnosis made
// afterwards from the COM name and that code takes the words from here.
// Shared by every thread of the process.
void recordNetworkFailure(const std::string& comName, int error, const std::string& problem);
void forgetNetworkFailure(const std::string& comName);
// The words recorded for `comName`, when its last failure had `error`; empty
// otherwise.
std::string recalledNetworkFailure(const std::string& comName, int error);

} // namespace platform
