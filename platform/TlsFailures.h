#pragma once

#include "platform/NetworkAddress.h"

#include <string>

namespace platform {

// What a device notes for a server whose certificate does not name the host
// (or the entry's servername=), in place of gensio's reason.
inline constexpr const char* TlsNameMismatch = "the certificate names another server";

// The diagnosis of a TLS opening that failed with `gensioError`, from what
// gensio's log and its certificate check said (`reason`): which failure the
// operator can mend it was, and how. False when it was none of them (a
// refused connection, an unknown host: the words of any network port).
bool describeTlsFailure(int gensioError, const std::string& reason, const NetworkAddress& address,
                        std::string& problem);

// Whether a server's certificate (PEM, as gensio gives it) is made out to
// `name`, a host name or an address, as OpenSSL checks it.
bool certificateNames(const std::string& certificate, const std::string& name);

} // namespace platform
