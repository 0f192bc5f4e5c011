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

// What a server that closed the connection at once said, in the words of a
// diagnosis: what its words mean where we know, and the words quoted. A serial
// server turns a second client away with "Port already in use", but a device
// that another program on the server holds with "Port's device already in
// use": the one waits for the other client, the other for whoever is at the
// server. Empty words say only that the server closed the connection.
std::string serverClosedConnection(const std::string& words);

} // namespace platform
