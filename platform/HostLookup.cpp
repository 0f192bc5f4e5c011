#include "platform/HostLookup.h"

#include "platform/WakeEvent.h"

#include <algorithm>
#include <atomic>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>

namespace platform {

namespace {

// A lookup that a worker thread of its own does: the worker and the opening
// share it, so that one given up stays whole until its worker is done.
struct Lookup {
    std::string name;
    std::string service;
    WakeEvent done;             // signalled once the worker has ended
    std::atomic<bool> ended{false};
    int status = 0;             // the worker's, read once it has ended
    addrinfo* result = nullptr;

    ~Lookup()
    {
        if (result) ::freeaddrinfo(result);
    }

    void run()
    {
        addrinfo hints {};
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_flags = AI_NUMERICSERV;
        status = ::getaddrinfo(name.c_str(), service.c_str(), &hints, &result);
        ended.store(true, std::memory_order_release);
        done.signal();
    }
};

// Workers of lookups given up, joined once they have ended. The list is never
// destroyed: a worker still asking a name server as the program ends is not
// joined, and touches nothing but its own lookup.
struct Abandoned {
    std::thread worker;
    std::shared_ptr<Lookup> lookup;
};
std::mutex abandonedMutex;
std::vector<Abandoned>* abandoned = new std::vector<Abandoned>;

void joinEnded()
{
    std::lock_guard lock(abandonedMutex);
    std::erase_if(*abandoned, [](Abandoned& a) {
        if (!a.lookup->ended.load(std::memory_order_acquire)) return false;
        a.worker.join();
        return true;
    });
}

void abandon(std::thread worker, std::shared_ptr<Lookup> lookup)
{
    std::lock_guard lock(abandonedMutex);
    abandoned->push_back({std::move(worker), std::move(lookup)});
}

SocketAddress addressOf(const addrinfo& info)
{
    SocketAddress address;
    address.length = std::min<socklen_t>(info.ai_addrlen, sizeof address.storage);
    std::memcpy(&address.storage, info.ai_addr, address.length);
    return address;
}

// The resolver's list with the families alternating, each in its own order.
std::vector<SocketAddress> alternated(const addrinfo* list)
{
    std::vector<SocketAddress> first;
    std::vector<SocketAddress> other;
    for (const addrinfo* info = list; info; info = info->ai_next) {
        if (info->ai_family != AF_INET && info->ai_family != AF_INET6) continue;
        auto& family = first.empty() || first.front().family() == info->ai_family ? first : other;
        family.push_back(addressOf(*info));
    }
    std::vector<SocketAddress> addresses;
    for (std::size_t i = 0; i < std::max(first.size(), other.size()); ++i) {
        if (i < first.size()) addresses.push_back(first[i]);
        if (i < other.size()) addresses.push_back(other[i]);
    }
    return addresses;
}

// An address in numbers, read without asking anyone: 0, or EAI_NONAME for
// what is not one.
int numeric(const std::string& host, const std::string& service, std::vector<SocketAddress>& addresses)
{
    addrinfo hints {};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo* list = nullptr;
    const int error = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &list);
    if (error != 0) return error;
    addresses = alternated(list);
    ::freeaddrinfo(list);
    return 0;
}

} // namespace

std::string SocketAddress::text() const
{
    char text[INET6_ADDRSTRLEN] = "";
    const void* bytes = family() == AF_INET6 ? static_cast<const void*>(&reinterpret_cast<const sockaddr_in6&>(storage).sin6_addr)
                                             : static_cast<const void*>(&reinterpret_cast<const sockaddr_in&>(storage).sin_addr);
    ::inet_ntop(family(), bytes, text, sizeof text);
    return text;
}

int lookUpHost(const std::string& host, std::uint16_t port, const HostTable& table, ConnectionWait& wait,
               ConnectionWait::Clock::time_point deadline, std::vector<SocketAddress>& addresses,
               std::string& problem)
{
    addresses.clear();
    const std::string service = std::to_string(port);
    if (numeric(host, service, addresses) == 0) return 0;
    if (table) {
        for (const std::string& number : table(host)) {
            std::vector<SocketAddress> one;
            if (numeric(number, service, one) == 0) addresses.insert(addresses.end(), one.begin(), one.end());
        }
        if (!addresses.empty()) return 0;
        problem = ::gai_strerror(EAI_NONAME);
        return EHOSTUNREACH;
    }

    joinEnded();
    auto lookup = std::make_shared<Lookup>();
    lookup->name = host;
    lookup->service = service;
    if (const int error = lookup->done.open()) return error;
    std::thread worker;
    try {
        worker = std::thread([lookup] { lookup->run(); });
    } catch (const std::system_error& error) {
        return error.code().value();
    }
    while (!lookup->ended.load(std::memory_order_acquire)) {
        const int error = wait.wait(lookup->done.fd(), POLLIN, deadline);
        // An answer that came with the time limit still counts.
        if (error == 0 || (error == ETIMEDOUT && lookup->ended.load(std::memory_order_acquire))) continue;
        abandon(std::move(worker), std::move(lookup));
        return error;
    }
    worker.join();
    if (lookup->status == 0) addresses = alternated(lookup->result);
    if (!addresses.empty()) return 0;
    problem = ::gai_strerror(lookup->status == 0 ? EAI_NONAME : lookup->status);
    return EHOSTUNREACH;
}

} // namespace platform
