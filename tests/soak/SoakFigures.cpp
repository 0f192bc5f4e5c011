#include "SoakFigures.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

std::size_t entries(const char* directory)
{
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(directory)) ++count;
    return count;
}

long residentKb()
{
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            long kb = 0;
            status >> kb;
            return kb;
        }
        status.ignore(4096, '\n');
    }
    return -1;
}

double scale()
{
    const char* text = std::getenv("UAV_SOAK_SCALE");
    if (!text || !*text) return 0;
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    if (*end != '\0' || !(value >= 0)) {
        std::fprintf(stderr, "UAV_SOAK_SCALE=%s is not a number; the CI counts are used\n", text);
        return 0;
    }
    return value;
}

} // namespace

std::uint64_t soakCount(std::uint64_t ciCount, std::uint64_t fullCount)
{
    static const double factor = scale();
    return std::max<std::uint64_t>(ciCount, static_cast<std::uint64_t>(std::llround(double(fullCount) * factor)));
}

ProcessFigures ProcessFigures::now()
{
    ProcessFigures figures;
    figures.rssKb = residentKb();
    figures.fds = entries("/proc/self/fd");
    figures.threads = entries("/proc/self/task");
    return figures;
}

void printFigures(const std::string& what, std::uint64_t count, double seconds, const ProcessFigures& before,
                  const ProcessFigures& after)
{
    std::printf("[soak] %s: %llu in %.2f s, RSS %ld -> %ld kB, fds %zu -> %zu, threads %zu -> %zu\n", what.c_str(),
                static_cast<unsigned long long>(count), seconds, before.rssKb, after.rssKb, before.fds, after.fds,
                before.threads, after.threads);
    std::fflush(stdout);
}
