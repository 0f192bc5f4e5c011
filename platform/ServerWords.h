#pragma once

#include <string>

namespace platform {

// What a server said before it closed the connection ("Port already in use",
// say), printable and short, for the diagnosis.
std::string serverWords(const std::string& received);

// A server's words are a line of text; a connection that has carried anything
// else carried the device's data, and what came last is no farewell.
bool isText(char c);

// Telnet's data with its commands (negotiations, subnegotiations) left out.
std::string withoutTelnetCommands(const std::string& bytes);

} // namespace platform
