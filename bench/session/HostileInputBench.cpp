// What reading a recording costs when the input is hostile: xpdrctl export and
// xpdrsim --replay of a file of ten million line ends (10 MB), of one line of
// 200 MB, and of an endless stream of zero bytes through a pipe cut after ten
// seconds. Each program is timed from posix_spawn() to its end, and its peak
// resident memory is the kernel's account of it (wait4's ru_maxrss, the figure
// /usr/bin/time -v prints as "Maximum resident set size"). Its stdout goes
// nowhere; of its stderr only the size is kept.
//
//   hostile_input_bench [folder]      default: a temporary folder
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

struct Outcome {
    double seconds = 0;
    long peakKb = 0;
    long long stderrBytes = 0;
    int status = -1;
};

bool writeFile(const QString& path, char fill, qint64 bytes, bool lineEnds)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    const QByteArray block(1 << 20, lineEnds ? '\n' : fill);
    for (qint64 done = 0; done < bytes; done += block.size())
        if (file.write(block.constData(), std::min<qint64>(block.size(), bytes - done)) < 0) return false;
    return true;
}

// Runs `args`; with `zeroSeconds` > 0 its stdin is a pipe fed with zero bytes
// for that long, then closed. Its stderr is drained and counted.
Outcome run(std::vector<std::string> args, double zeroSeconds)
{
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int errPipe[2];
    int inPipe[2] = {-1, -1};
    if (::pipe2(errPipe, O_CLOEXEC) != 0 || (zeroSeconds > 0 && ::pipe2(inPipe, O_CLOEXEC) != 0)) return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    if (zeroSeconds > 0) posix_spawn_file_actions_adddup2(&actions, inPipe[0], 0);
    Outcome outcome;
    const auto start = Clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) return {};
    posix_spawn_file_actions_destroy(&actions);
    ::close(errPipe[1]);
    if (zeroSeconds > 0) {
        ::close(inPipe[0]);
        ::fcntl(inPipe[1], F_SETFL, O_NONBLOCK);
    }
    ::fcntl(errPipe[0], F_SETFL, O_NONBLOCK);
    const std::vector<char> zeros(1 << 16, '\0');
    std::vector<char> sink(1 << 16);
    for (;;) {
        const bool feeding = inPipe[1] >= 0;
        if (feeding && std::chrono::duration<double>(Clock::now() - start).count() >= zeroSeconds) {
            ::close(inPipe[1]);
            inPipe[1] = -1;
        }
        pollfd fds[2] = {{errPipe[0], POLLIN, 0}, {inPipe[1], POLLOUT, 0}};
        ::poll(fds, inPipe[1] >= 0 ? 2 : 1, 100);
        if (inPipe[1] >= 0 && (fds[1].revents & POLLOUT)) (void)::write(inPipe[1], zeros.data(), zeros.size());
        if (fds[1].revents & (POLLERR | POLLHUP)) {
            ::close(inPipe[1]);
            inPipe[1] = -1;
        }
        const ssize_t n = ::read(errPipe[0], sink.data(), sink.size());
        if (n > 0) outcome.stderrBytes += n;
        if (n == 0) break;
    }
    ::close(errPipe[0]);
    if (inPipe[1] >= 0) ::close(inPipe[1]);
    rusage usage{};
    ::wait4(pid, &outcome.status, 0, &usage);
    outcome.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    outcome.peakKb = usage.ru_maxrss;
    return outcome;
}

void print(const char* what, const Outcome& o)
{
    std::printf("%-52s %7.2f s  peak %6.1f MB  stderr %lld bytes  exit %d\n", what, o.seconds, o.peakKb / 1024.0,
                o.stderrBytes, WIFEXITED(o.status) ? WEXITSTATUS(o.status) : -1);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::signal(SIGPIPE, SIG_IGN);
    QTemporaryDir temporary(argc > 1 ? QDir(QString::fromLocal8Bit(argv[1])).filePath(QStringLiteral("hostile-XXXXXX"))
                                     : QDir::tempPath() + QStringLiteral("/hostile-XXXXXX"));
    const std::string ends = temporary.filePath(QStringLiteral("line-ends.jsonl")).toStdString();
    const std::string single = temporary.filePath(QStringLiteral("single-line.jsonl")).toStdString();
    if (!writeFile(QString::fromStdString(ends), '\n', 10 << 20, true) ||
        !writeFile(QString::fromStdString(single), 'x', 200 << 20, false))
        return 1;
    const std::string xpdrctl = XPDRCTL_PROGRAM;
    const std::string xpdrsim = XPDRSIM_PROGRAM;
    print("xpdrctl export, 10 MB of line ends", run({xpdrctl, "export", ends, "--csv"}, 0));
    print("xpdrctl export, one line of 200 MB", run({xpdrctl, "export", single, "--csv"}, 0));
    print("xpdrctl export /dev/stdin, zero bytes for 10 s", run({xpdrctl, "export", "/dev/stdin", "--csv"}, 10));
    print("xpdrsim --replay, 10 MB of line ends", run({xpdrsim, "--replay", ends}, 0));
    print("xpdrsim --replay, one line of 200 MB", run({xpdrsim, "--replay", single}, 0));
    print("xpdrsim --replay /dev/stdin, zero bytes for 10 s", run({xpdrsim, "--replay", "/dev/stdin"}, 10));
    return 0;
}
