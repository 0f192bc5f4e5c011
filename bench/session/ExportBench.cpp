// xpdrctl export's throughput: the generator's recording of N lines (default
// 2.5 million, two days of Auto) exported to CSV by the program, its output
// thrown away, timed from posix_spawn() to waitpid(); best and median of three.
//
//   export_bench [lines] [folder]     defaults: 2500000 and a temporary folder
#include "bench/session/RecordingGenerator.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const std::uint64_t lines = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 2'500'000;
    QTemporaryDir temporary(argc > 2 ? QDir(QString::fromLocal8Bit(argv[2])).filePath(QStringLiteral("export-XXXXXX"))
                                     : QDir::tempPath() + QStringLiteral("/export-XXXXXX"));
    const QByteArray path = temporary.filePath(QStringLiteral("recording.jsonl")).toLocal8Bit();
    if (!bench::writeRecording(QString::fromLocal8Bit(path), lines)) return 1;

    char program[] = XPDRCTL_PROGRAM;
    char verb[] = "export";
    char csv[] = "--csv";
    std::vector<char> file(path.begin(), path.end());
    file.push_back('\0');
    char* args[] = {program, verb, file.data(), csv, nullptr};
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);

    std::vector<double> seconds;
    for (int run = 0; run < 3; ++run) {
        const auto start = std::chrono::steady_clock::now();
        pid_t pid = 0;
        if (posix_spawn(&pid, program, &quiet, nullptr, args, environ) != 0) return 1;
        int status = 0;
        waitpid(pid, &status, 0);
        seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            std::fprintf(stderr, "xpdrctl export ended with status %d\n", WEXITSTATUS(status));
            return 1;
        }
    }
    posix_spawn_file_actions_destroy(&quiet);
    std::sort(seconds.begin(), seconds.end());
    std::printf("xpdrctl export --csv of %llu lines: best %.2f s = %.0f lines/s, median %.2f s = %.0f lines/s\n",
                static_cast<unsigned long long>(lines), seconds[0], static_cast<double>(lines) / seconds[0], seconds[1],
                static_cast<double>(lines) / seconds[1]);
    return 0;
}
