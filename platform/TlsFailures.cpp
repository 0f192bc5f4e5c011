#include "platform/TlsFailures.h"

#include <gensio/gensio_err.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>

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

bool dnsNameMatches(std::string pattern, const std::string& name)
{
    pattern = lower(pattern);
    if (pattern == name) return true;
    // "*.example.org" stands for one label, never for a dot.
    if (pattern.size() < 3 || pattern.compare(0, 2, "*.") != 0) return false;
    const std::size_t dot = name.find('.');
    return dot != std::string::npos && dot > 0 && name.compare(dot, std::string::npos, pattern, 1) == 0;
}

// The same address, however written ("::1" and "0:0::1").
bool sameAddress(const std::string& a, const std::string& b)
{
    unsigned char first[16] {};
    unsigned char second[16] {};
    for (const int family : {AF_INET, AF_INET6})
        if (::inet_pton(family, a.c_str(), first) == 1 && ::inet_pton(family, b.c_str(), second) == 1)
            return std::equal(first, first + 16, second);
    return false;
}

} // namespace

bool certificateNames(const std::string& certificateText, const std::string& commonName, const std::string& name)
{
    const std::string wanted = lower(name);
    const std::string heading = "X509v3 Subject Alternative Name:";
    const std::size_t at = certificateText.find(heading);
    if (at == std::string::npos) return !commonName.empty() && dnsNameMatches(commonName, wanted);
    // The names follow on the next line: "DNS:a, DNS:*.b, IP Address:127.0.0.1".
    const std::size_t start = certificateText.find('\n', at);
    if (start == std::string::npos) return false;
    const std::string line = certificateText.substr(start + 1, certificateText.find('\n', start + 1) - start - 1);
    std::size_t from = 0;
    while (from < line.size()) {
        std::size_t end = line.find(',', from);
        if (end == std::string::npos) end = line.size();
        std::string entry = line.substr(from, end - from);
        entry.erase(0, entry.find_first_not_of(' '));
        if (entry.compare(0, 4, "DNS:") == 0 && dnsNameMatches(entry.substr(4), wanted)) return true;
        if (entry.compare(0, 11, "IP Address:") == 0 && sameAddress(entry.substr(11), name)) return true;
        from = end + 1;
    }
    return false;
}

bool describeTlsFailure(int gensioError, const std::string& reason, const NetworkAddress& address,
                        std::string& problem)
{
    const std::string text = lower(reason);
    const std::string ca = address.ca.empty() ? "the system's CAs" : "ca=" + address.ca;
    const std::string name = address.serverName.empty() ? address.host : address.serverName;
    if (reason == TlsNameMismatch) {
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
    } else if (holds(text, {"key values mismatch", "private key does not match"}) || gensioError == GE_KEYINVALID) {
        problem = "key=" + address.key + " is not the key of cert=" + address.cert + ": give the key the certificate was made for";
    } else if (holds(text, {"certificate required", "peer did not return a certificate"})
               || (address.cert.empty() && holds(text, {"alert handshake failure"}))) {
        problem = "the server asks for a client certificate: give cert= and key= of one it allows";
    } else if (holds(text, {"alert unknown ca", "alert bad certificate", "alert certificate unknown",
                            "alert access denied", "alert handshake failure", "alert decrypt error"})) {
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
