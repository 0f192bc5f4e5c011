#include "platform/HostLookup.h"

#include "platform/WakeEvent.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <memory>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>

namespace platform {

namespace {

// How often a lookup in progress is looked at: short beside any name server's
// answer, long beside a window's painting.
constexpr std::chrono::milliseconds LookupSlice{10};

// A lookup the resolver's thread writes into until it ends: its request and
// what the request points to stay in one place until then.
struct Lookup {
    std::string name;
    std::string service;
    addrinfo hints {};
    gaicb request {};

    ~Lookup()
    {
        if (request.ar_result) ::freeaddrinfo(request.ar_result);
    }
};

// Lookups given up while the resolver still worked on them, freed once it has
// let go; reachable to the end, so never freed under its feet.
std::mutex abandonedMutex;
std::vector<std::unique_ptr<Lookup>>* abandoned = new std::vector<std::unique_ptr<Lookup>>;

void abandon(std::unique_ptr<Lookup> lookup)
{
    std::lock_guard lock(abandonedMutex);
    // A request still queued is taken back at once; one running finishes.
    if (::gai_cancel(&lookup->request) != EAI_NOTCANCELED) return;
    abandoned->push_back(std::move(lookup));
}

void freeEnded()
{
    std::lock_guard lock(abandonedMutex);
    std::erase_if(*abandoned, [](const auto& lookup) { return ::gai_error(&lookup->request) != EAI_INPROGRESS; });
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

    freeEnded();
    WakeEvent never;
    if (const int error = never.open()) return error;
    auto lookup = std::make_unique<Lookup>();
    lookup->name = host;
    lookup->service = service;
    lookup->hints.ai_socktype = SOCK_STREAM;
    lookup->hints.ai_flags = AI_NUMERICSERV;
    lookup->request.ar_name = lookup->name.c_str();
    lookup->request.ar_service = lookup->service.c_str();
    lookup->request.ar_request = &lookup->hints;
    gaicb* requests[] = {&lookup->request};
    sigevent none {};
    none.sigev_notify = SIGEV_NONE;
    int status = ::getaddrinfo_a(GAI_NOWAIT, requests, 1, &none);
    if (status == 0) {
        while ((status = ::gai_error(&lookup->request)) == EAI_INPROGRESS) {
            const auto slice = std::min(deadline, ConnectionWait::Clock::now() + LookupSlice);
            const int error = wait.wait(never.fd(), POLLIN, slice);
            if (error == 0 || (error == ETIMEDOUT && slice < deadline)) continue;
            // An answer that came with the time limit still counts.
            if (error == ETIMEDOUT && ::gai_error(&lookup->request) != EAI_INPROGRESS) continue;
            abandon(std::move(lookup));
            return error;
        }
    }
    if (status == 0) addresses = alternated(lookup->request.ar_result);
    if (!addresses.empty()) return 0;
    problem = ::gai_strerror(status == 0 ? EAI_NONAME : status);
    return EHOSTUNREACH;
}

} // namespace platform
