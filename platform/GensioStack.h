#pragma once

#include "platform/NetworkAddress.h"

#include <string>
#include <string_view>

namespace platform {

// The gensio string of a network port, made from the fields of its parsed
// entry and never from the entry's text: "tcp(nodelay),HOST,PORT" for raw
// bytes, "telnet(rfc2217),tcp(nodelay),HOST,PORT" for RFC 2217, and with TLS
// an "ssl(...)" layer above the TCP one.
//
// gensio gives meaning to commas, parentheses, double quotes, backslashes and
// blanks. A host or a port is a plain word and may hold none of them; an
// option's value (a file's path) goes in double quotes with its quotes and
// backslashes escaped, so that nothing in it can end the option or start a
// layer. Returns false, with `problem` in words, for a field that cannot be
// written so.
bool gensioStack(const NetworkAddress& address, std::string& stack, std::string& problem);

// `value` as gensio reads an option's value back exactly: in double quotes,
// each '"' and '\' escaped. False for a value with a control character, which
// no path or name of ours holds.
bool quoteGensioValue(std::string_view value, std::string& quoted);

} // namespace platform
