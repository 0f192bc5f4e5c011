#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// How many rounds each soak runs. The defaults are small enough for every CI
// run; UAV_SOAK_SCALE (a number, 1 = the full counts) raises them for a run by
// hand, e.g. UAV_SOAK_SCALE=1 tests/soak/soak_tests. A count never drops below
// its CI default.
std::uint64_t soakCount(std::uint64_t ciCount, std::uint64_t fullCount);

// What the process holds right now, as the kernel counts it.
struct ProcessFigures {
    long rssKb = 0;          // VmRSS
    std::size_t fds = 0;     // entries of /proc/self/fd
    std::size_t threads = 0; // entries of /proc/self/task

    static ProcessFigures now();
};

// Under a sanitizer the resident size measures the sanitizer (shadow memory,
// the quarantine of freed blocks), not us: memory checks are left to it then.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool ResidentSizeIsOurs = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
inline constexpr bool ResidentSizeIsOurs = false;
#else
inline constexpr bool ResidentSizeIsOurs = true;
#endif
#else
inline constexpr bool ResidentSizeIsOurs = true;
#endif

// One line of figures on standard output, so that a run by hand can be read
// off: "[soak] <what>: <count> in <s> s, RSS a -> b kB, fds a -> b, threads a -> b".
void printFigures(const std::string& what, std::uint64_t count, double seconds, const ProcessFigures& before,
                  const ProcessFigures& after);
