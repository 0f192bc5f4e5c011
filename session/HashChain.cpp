#include "session/HashChain.h"

#include <QCryptographicHash>

namespace session {

namespace {

constexpr QByteArrayView Field = R"(,"chain":")";
constexpr qsizetype HexBytes = HashChain::DigestBytes * 2;
// ,"chain":"<64 hex>"}
constexpr qsizetype SuffixBytes = Field.size() + HexBytes + 2;

bool isHex(QByteArrayView text)
{
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
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

QByteArray HashChain::link(QByteArrayView previous, QByteArrayView open)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(previous);
    hash.addData(open);
    hash.addData("}");
    return hash.result();
}

bool HashChain::split(QByteArrayView line, QByteArrayView& open, QByteArray& chain)
{
    if (line.endsWith('\r')) line.chop(1);
    if (line.size() < SuffixBytes + 1 || !line.endsWith("\"}")) return false;
    const qsizetype at = line.size() - SuffixBytes;
    if (line.sliced(at, Field.size()) != Field) return false;
    const QByteArrayView hex = line.sliced(at + Field.size(), HexBytes);
    if (!isHex(hex)) return false;
    chain = QByteArray::fromHex(hex.toByteArray());
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
