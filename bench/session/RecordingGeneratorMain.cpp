// Writes a recording of N lines for the benchmarks that read one back.
//
//   recording_generator FILE [lines]      default: 2 500 000 (two days of Auto)
#include "bench/session/RecordingGenerator.h"

#include <QCoreApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: recording_generator FILE [lines]\n");
        return 2;
    }
    const std::uint64_t lines = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 2'500'000;
    const auto begin = std::chrono::steady_clock::now();
    if (!bench::writeRecording(QString::fromLocal8Bit(argv[1]), lines)) {
        std::fprintf(stderr, "recording_generator: cannot write %s\n", argv[1]);
        return 1;
    }
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    std::printf("%llu lines written to %s in %.1f s\n", static_cast<unsigned long long>(lines), argv[1], s);
    return 0;
}
