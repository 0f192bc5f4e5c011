#include "tests/testkit/PacedTransponder.h"

#include <cerrno>
#include <poll.h>
#include <time.h>
#include <unistd.h>

namespace {

constexpr char STX = '\x02';
constexpr char ETX = '\x03';

long long nowNs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<long long>(t.tv_sec) * 1'000'000'000LL + t.tv_nsec;
}

double nsToMs(long long ns)
{
    return static_cast<double>(ns) / 1e6;
}

} // namespace

double PacedTransponder::frameOnLineMs(const std::string& content)
{
    return static_cast<double>(content.size() + 2) * ByteOnLineMs;
}

PacedTransponder::PacedTransponder(int master, std::map<char, std::string> replies)
    : master_(master)
    , replies_(std::move(replies))
    , thread_([this] { run(); })
{
}

PacedTransponder::~PacedTransponder()
{
    stop();
}

void PacedTransponder::stop()
{
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

std::vector<LoggedFrame> PacedTransponder::frames() const
{
    std::lock_guard lock(mutex_);
    return frames_;
}

std::vector<double> PacedTransponder::lateness() const
{
    std::lock_guard lock(mutex_);
    return lateness_;
}

void PacedTransponder::run()
{
    std::string pending;
    char buffer[256];
    while (!stop_) {
        pollfd fds{master_, POLLIN, 0};
        if (::poll(&fds, 1, 20) <= 0) continue;
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n <= 0) continue;
        const long long arrived = nowNs();
        pending.append(buffer, static_cast<std::size_t>(n));
        std::size_t etx;
        while ((etx = pending.find(ETX)) != std::string::npos) {
            const std::size_t stx = pending.rfind(STX, etx);
            const std::string content = stx == std::string::npos ? "" : pending.substr(stx + 1, etx - stx - 1);
            pending.erase(0, etx + 1);
            if (!content.empty()) answer(content, arrived);
        }
    }
}

void PacedTransponder::answer(const std::string& query, long long arrivedNs)
{
    record({nsToMs(arrivedNs), true, query});
    const auto reply = replies_.find(query[0]);
    if (query.size() != 3 || query.substr(1) != "=?" || reply == replies_.end()) return;
    const long long due =
        arrivedNs + static_cast<long long>((frameOnLineMs(query) + frameOnLineMs(reply->second)) * 1e6);
    const timespec at{static_cast<time_t>(due / 1'000'000'000LL), static_cast<long>(due % 1'000'000'000LL)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) {
    }
    const std::string frame = STX + reply->second + ETX;
    if (::write(master_, frame.data(), frame.size()) != static_cast<ssize_t>(frame.size())) return;
    const long long sent = nowNs();
    record({nsToMs(sent), false, reply->second});
    std::lock_guard lock(mutex_);
    lateness_.push_back(nsToMs(sent - due));
}

void PacedTransponder::record(LoggedFrame frame)
{
    std::lock_guard lock(mutex_);
    frames_.push_back(std::move(frame));
}
