#include "platform/TlsFailures.h"

#include <gensio/gensio_err.h>

#include <algorithm>
#include <cctype>
#include <openssl/pem.h>
#include <openssl/x509v3.h>

namespace platform {

namespace {

std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

bool holds(const std::string& text, std::initializer_list<const char*> words)
{
    return std::any_of(words.begin(), words.end(), [&](const char* word) { return text.find(word) != std::string::npos; });
}

} // namespace

bool certificateNames(const std::string& certificate, const std::string& name)
{
    BIO* text = BIO_new_mem_buf(certificate.data(), static_cast<int>(certificate.size()));
    X509* parsed = text ? PEM_read_bio_X509(text, nullptr, nullptr, nullptr) : nullptr;
    BIO_free(text);
    if (!parsed) return false;
    // An address is checked as an address, a name as a name (its subject
    // alternative names, or its common name when it has none; one wildcard label).
    const bool named = X509_check_ip_asc(parsed, name.c_str(), 0) == 1
        || X509_check_host(parsed, name.c_str(), name.size(), X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS, nullptr) == 1;
    X509_free(parsed);
    return named;
}

bool describeTlsFailure(int gensioError, const std::string& reason, const NetworkAddress& address,
                        std::string& problem)
{
    // A server that checks client certificates sends its alert after the
    // handshake has ended on our side and hangs up; OpenSSL on our side often
    // never reads the alert. Hanging up in the middle of a TLS opening is
    // that server refusing what we showed it, or that we showed none.
    const std::string text = lower(reason);
    const std::string ca = address.ca.empty() ? "the system's CAs" : "ca=" + address.ca;
    const std::string name = address.serverName.empty() ? address.host : address.serverName;
    if (reason.rfind(TlsNameMismatch, 0) == 0) {
        problem = "the server's certificate does not name " + name
            + ": write the name it holds in servername=, or give the server a certificate for " + name;
    } else if (gensioError == GE_CERTEXPIRED || holds(text, {"certificate has expired", "certificate is not yet valid"})) {
        problem = "the server's certificate has expired (or is not valid yet): renew the server's certificate";
    } else if (holds(text, {"alert certificate expired"})) {
        problem = "the server refused our certificate as expired: renew cert=" + address.cert;
    } else if (holds(text, {"unable to get local issuer", "self-signed certificate", "self signed certificate",
                            "unable to verify the first certificate", "certificate verify failed"})
               || gensioError == GE_CERTINVALID || gensioError == GE_CERTNOTFOUND) {
        problem = "the server's certificate is not signed by " + ca
            + ": give ca= the CA (or the certificate) the server's certificate comes from";
    } else if (holds(text, {"key values mismatch", "private key does not match"}) || gensioError == GE_KEYINVALID
               || (gensioError == GE_KEYNOTFOUND && !address.key.empty())) {
        problem = "key=" + address.key + " is not the key of cert=" + address.cert + ": give the key the certificate was made for";
    } else if (holds(text, {"certificate required", "peer did not return a certificate"})
               || (address.cert.empty() && (holds(text, {"alert handshake failure"}) || gensioError == GE_REMCLOSE))) {
        problem = "the server asks for a client certificate: give cert= and key= of one it allows";
    } else if (holds(text, {"alert unknown ca", "alert bad certificate", "alert certificate unknown",
                            "alert access denied", "alert handshake failure", "alert decrypt error"})
               || gensioError == GE_REMCLOSE) {
        problem = "the server refused our certificate (cert=" + address.cert
            + "): have it allowed on the server (its CA or authdir), or give one it allows";
    } else if (holds(text, {"wrong version number", "packet length too long", "unknown protocol", "record layer failure",
                            "http request", "unexpected eof", "unexpected message"})
               || gensioError == GE_PROTOERR) {
        problem = "the server does not speak TLS on this port: write the scheme without +tls, or give the server's "
                  "accepter an ssl(...) layer";
    } else {
        return false;
    }
    return true;
}

} // namespace platform
