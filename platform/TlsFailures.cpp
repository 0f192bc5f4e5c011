#include "platform/TlsFailures.h"

#include <gensio/gensio_err.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <cstdlib>
#include <openssl/x509_vfy.h>
#include <unistd.h>
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

bool looksLikeTls(std::string_view bytes)
{
    // A record header: an alert or a handshake, version 3.x.
    return bytes.size() >= 3 && (bytes[0] == 0x15 || bytes[0] == 0x16) && bytes[1] == 0x03
        && static_cast<unsigned char>(bytes[2]) <= 0x04;
}

namespace {

} // namespace

bool certificateNames(const std::string& certificate, const std::string& name)
{
    BIO* text = BIO_new_mem_buf(certificate.data(), static_cast<int>(certificate.size()));
    X509* parsed = text ? PEM_read_bio_X509(text, nullptr, nullptr, nullptr) : nullptr;
    BIO_free(text);
    if (!parsed) return false;
    // An address matches only an address entry: never a name, a wildcard
    // ("*.0.0.1" would match 10.0.0.1 too) or the common name. A name matches
    // only name entries, a wildcard standing for the whole left-most label;
    // the common name counts only in a certificate without alternative names
    // (as ser2net's own are made).
    in6_addr binary {};
    const bool address = ::inet_pton(AF_INET, name.c_str(), &binary) == 1 || ::inet_pton(AF_INET6, name.c_str(), &binary) == 1;
    bool named = false;
    if (address) {
        named = X509_check_ip_asc(parsed, name.c_str(), 0) == 1;
    } else {
        const bool alternatives = X509_get_ext_by_NID(parsed, NID_subject_alt_name, -1) >= 0;
        const unsigned flags = X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS
            | (alternatives ? X509_CHECK_FLAG_NEVER_CHECK_SUBJECT : 0);
        named = X509_check_host(parsed, name.c_str(), name.size(), flags, nullptr) == 1;
    }
    X509_free(parsed);
    return named;
}

std::string systemTrustFile()
{
    const char* named = std::getenv(X509_get_default_cert_file_env());
    const std::string file = named && *named ? named : X509_get_default_cert_file();
    return ::access(file.c_str(), R_OK) == 0 ? file : std::string();
}

std::string defaultTrustFile()
{
    return X509_get_default_cert_file();
}

std::string judgeServerCertificate(const std::string& certificate, const std::string& trustFile, const std::string& name)
{
    BIO* text = BIO_new_mem_buf(certificate.data(), static_cast<int>(certificate.size()));
    X509* parsed = text ? PEM_read_bio_X509(text, nullptr, nullptr, nullptr) : nullptr;
    BIO_free(text);
    if (!parsed) return "the server showed no certificate";
    X509_STORE* store = X509_STORE_new();
    X509_STORE_CTX* context = X509_STORE_CTX_new();
    std::string reason;
    if (!store || !context || X509_STORE_load_file(store, trustFile.c_str()) != 1) {
        reason = "unable to get local issuer certificate (cannot read " + trustFile + ")";
    } else {
        // A certificate of the file is trusted as it stands, root or not: the
        // server's own, or the CA that signed it.
        X509_STORE_set_flags(store, X509_V_FLAG_PARTIAL_CHAIN);
        X509_STORE_CTX_init(context, store, parsed, nullptr);
        X509_STORE_CTX_set_purpose(context, X509_PURPOSE_SSL_SERVER);
        // 112 bits of security at least: no RSA below 2048 bits, no SHA-1.
        X509_VERIFY_PARAM_set_auth_level(X509_STORE_CTX_get0_param(context), 2);
        if (X509_verify_cert(context) != 1)
            reason = X509_verify_cert_error_string(X509_STORE_CTX_get_error(context));
        else if (!certificateNames(certificate, name))
            reason = TlsNameMismatch;
    }
    X509_STORE_CTX_free(context);
    X509_STORE_free(store);
    X509_free(parsed);
    return reason;
}

bool describeTlsFailure(int gensioError, const std::string& reason, const NetworkAddress& address, bool serverShown,
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
                            "unable to verify the first certificate", "certificate verify failed",
                            "certificate signature failure"})
               || gensioError == GE_CERTINVALID || gensioError == GE_CERTNOTFOUND) {
        problem = "the server's certificate is not signed by " + ca
            + ": give ca= the CA (or the certificate) the server's certificate comes from";
    } else if (holds(text, {"key values mismatch", "private key does not match"}) || gensioError == GE_KEYINVALID
               || (gensioError == GE_KEYNOTFOUND && !address.key.empty())) {
        problem = "key=" + address.key + " is not the key of cert=" + address.cert + ": give the key the certificate was made for";
    } else if (holds(text, {"key too weak", "key too small", "md too weak", "too weak"})) {
        problem = "the server's certificate is too weak (an RSA key under 2048 bits, or a SHA-1 signature): give the "
                  "server a stronger certificate";
    } else if (holds(text, {"unsupported protocol", "alert protocol version", "no protocols available",
                            "version too low", "wrong ssl version"})) {
        problem = "the server speaks no TLS 1.2 or newer: update the server's TLS (its OpenSSL) or allow TLS 1.2 in "
                  "its configuration";
    } else if (!serverShown && holds(text, {"alert handshake failure", "alert insufficient security", "no shared cipher",
                                           "no ciphers available", "no suitable signature"})) {
        problem = "the server offers no TLS 1.2 suite with forward secrecy (ECDHE or DHE with AES-GCM or ChaCha20) "
                  "and no TLS 1.3: allow them in the server's TLS configuration";
    } else if (!serverShown && (gensioError == GE_REMCLOSE || holds(text, {"unexpected eof"}))) {
        problem = "the server ended the connection in the TLS handshake before it showed its certificate: see the "
                  "server's log (its limit of connections, its TLS setup)";
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
