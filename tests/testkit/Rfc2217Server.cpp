#include "tests/testkit/Rfc2217Server.h"

#include <utility>

using namespace std::string_literals;

namespace {

constexpr char Iac = '\xff', Sb = '\xfa', Se = '\xf0';

} // namespace

// WILL SGA, DO SGA, WILL ECHO, DONT ECHO, DO BINARY, WILL BINARY, DO COM-PORT.
const std::string Rfc2217Server::Greeting = "\xff\xfb\x03\xff\xfd\x03\xff\xfb\x01\xff\xfe\x01\xff\xfd\x00\xff\xfb\x00\xff\xfd\x2c"s;

bool Rfc2217Server::accept(bool answer)
{
    wire_.clear();
    data_.clear();
    requests_.clear();
    masks_.clear();
    if (!server_.accept()) return false;
    server_.send(Greeting);
    // ser2net tells the modem lines as soon as COM-PORT is agreed.
    sendComPort("\x6b\x00"s);
    if (!answer) return true;
    if (receiveRequests(1) != std::vector<std::string>{"\x01\x00\x00\x00\x00"s}) return false;
    sendComPort("\x65\x00\x00\x25\x80"s);
    return true;
}

void Rfc2217Server::sendComPort(const std::string& payload)
{
    std::string doubled;
    for (const char c : payload) doubled += c == Iac ? "\xff\xff"s : std::string(1, c);
    server_.send("\xff\xfa\x2c"s + doubled + "\xff\xf0"s);
}

std::string Rfc2217Server::receiveData(std::size_t count, Ms limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (data_.size() < count && std::chrono::steady_clock::now() < deadline) pump(Ms(20));
    return std::exchange(data_, std::string());
}

std::vector<std::string> Rfc2217Server::receiveRequests(std::size_t count, Ms limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (requests_.size() < count && std::chrono::steady_clock::now() < deadline) pump(Ms(20));
    return std::exchange(requests_, {});
}

std::vector<std::string> Rfc2217Server::receiveMasks(std::size_t count, Ms limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (masks_.size() < count && std::chrono::steady_clock::now() < deadline) pump(Ms(20));
    return std::exchange(masks_, {});
}

void Rfc2217Server::pump(Ms limit)
{
    wire_ += server_.receive(4096, limit);
    std::size_t i = 0;
    while (i < wire_.size()) {
        if (wire_[i] != Iac) {
            data_ += wire_[i++];
            continue;
        }
        if (i + 1 >= wire_.size()) break;
        const char verb = wire_[i + 1];
        if (verb == Iac) {
            data_ += Iac;
            i += 2;
        } else if (verb == Sb) {
            const std::size_t end = wire_.find("\xff\xf0"s, i + 2);
            if (end == std::string::npos) break;
            std::string payload;
            for (std::size_t j = i + 3; j < end; ++j) {
                payload += wire_[j];
                if (wire_[j] == Iac) ++j;
            }
            if (wire_[i + 2] == '\x2c') (payload[0] == '\x0a' || payload[0] == '\x0b' ? masks_ : requests_).push_back(payload);
            i = end + 2;
        } else if (verb == Se || static_cast<unsigned char>(verb) < 0xfb) {
            i += 2;
        } else {
            if (i + 2 >= wire_.size()) break;
            i += 3;
        }
    }
    wire_.erase(0, i);
}
