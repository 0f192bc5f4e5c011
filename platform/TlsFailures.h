#pragma once

#include "platform/NetworkAddress.h"

#include <string>
#include <string_view>

namespace platform {

// What a device notes for a server whose certificate does not name the host
// (or the entry's servername=), in place of gensio's reason.
inline constexpr const char* TlsNameMismatch = "the certificate names another server";

// The diagnosis of a TLS opening that failed with `gensioError`, from what
// gensio's log and its certificate check said (`reason`) and whether the
// server had shown its certificate: which failure the operator can mend it
// was, and how. False when it was none of them (a refused connection, an
// unknown host: the words of any network port).
bool describeTlsFailure(int gensioError, const std::string& reason, const NetworkAddress& address, bool serverShown,
                        std::string& problem);

// Whether bytes a server sent begin as TLS does: a plain entry to a TLS port
// hears an alert in answer to its first words.
bool looksLikeTls(std::string_view bytes);

// Whether a server's certificate (PEM, as gensio gives it) is made out to
// `name`: an address by an address entry alone; a host name by a name entry
// (a wildcard for the left-most label only), or by its common name when it
// has no alternative names at all.
bool certificateNames(const std::string& certificate, const std::string& name);

// The file of CAs an entry without ca= trusts: $SSL_CERT_FILE, else
// OpenSSL's default file; empty when there is none to read.
std::string systemTrustFile();
// OpenSSL's default file of CAs, read or not.
std::string defaultTrustFile();

// Judges a server's certificate (PEM, as gensio gives it, alone without the
// CAs between) as it comes in the handshake: signed by a certificate of
// `trustFile` (which may be the server's own, or a CA below a root), valid
// now, made for a TLS server, its key strong enough, and made out to `name`
// (see certificateNames). Empty when it is all that; otherwise OpenSSL's
// reason, or TlsNameMismatch.
std::string judgeServerCertificate(const std::string& certificate, const std::string& trustFile, const std::string& name);

} // namespace platform
