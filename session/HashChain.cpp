#include "session/HashChain.h"

#include <openssl/evp.h>

#include <memory>

namespace session {

namespace {

constexpr QByteArrayView Field = R"(,"chain":")";
constexpr qsizetype HexBytes = HashChain::DigestBytes * 2;
// ,"chain":"<64 hex>"}
constexpr qsizetype SuffixBytes = Field.size() + HexBytes + 2;

int nibble(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The recorder's lower-case hex read into `digest`, checked on the way: this
// runs once a line of every recording verified.
bool readHex(QByteArrayView hex, QByteArray& digest)
{
    digest.resize(HashChain::DigestBytes);
    for (qsizetype i = 0; i < HashChain::DigestBytes; ++i) {
        const int high = nibble(hex[2 * i]);
        const int low = nibble(hex[2 * i + 1]);
        if (high < 0 || low < 0) return false;
        digest[i] = static_cast<char>(high << 4 | low);
    }
    return true;
}

} // namespace

std::string HashChain::seal(std::string_view object)
{
    std::string line(object.substr(0, object.size() - 1));
    head_ = link(head_, QByteArrayView(line.data(), static_cast<qsizetype>(line.size())));
    line.append(Field.data(), static_cast<std::size_t>(Field.size()));
    line += head_.toHex().toStdString();
    line += "\"}";
    return line;
}

// OpenSSL's digest rather than Qt's: on the lines of a long recording it is
// several times faster (BENCHMARKS.md). The digest is fetched once, and each
// thread keeps its context.
QByteArray HashChain::link(QByteArrayView previous, QByteArrayView open)
{
    static EVP_MD* const sha256 = EVP_MD_fetch(nullptr, "SHA256", nullptr);
    thread_local const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                                        &EVP_MD_CTX_free);
    QByteArray digest(DigestBytes, Qt::Uninitialized);
    EVP_DigestInit_ex(context.get(), sha256, nullptr);
    EVP_DigestUpdate(context.get(), previous.data(), static_cast<std::size_t>(previous.size()));
    EVP_DigestUpdate(context.get(), open.data(), static_cast<std::size_t>(open.size()));
    EVP_DigestUpdate(context.get(), "}", 1);
    EVP_DigestFinal_ex(context.get(), reinterpret_cast<unsigned char*>(digest.data()), nullptr);
    return digest;
}

bool HashChain::split(QByteArrayView line, QByteArrayView& open, QByteArray& chain)
{
    if (line.endsWith('\r')) line.chop(1);
    if (line.size() < SuffixBytes + 1 || !line.endsWith("\"}")) return false;
    const qsizetype at = line.size() - SuffixBytes;
    if (line.sliced(at, Field.size()) != Field) return false;
    if (!readHex(line.sliced(at + Field.size(), HexBytes), chain)) return false;
    open = line.first(at);
    return true;
}

QByteArray HashChain::lastChain(QByteArrayView tail)
{
    QByteArrayView rest = tail;
    while (!rest.isEmpty()) {
        if (rest.endsWith('\n')) rest.chop(1);
        const qsizetype start = rest.lastIndexOf('\n') + 1;
        QByteArrayView open;
        QByteArray chain;
        if (split(rest.sliced(start), open, chain)) return chain;
        rest.truncate(start);
    }
    return QByteArray(DigestBytes, '\0');
}

} // namespace session
