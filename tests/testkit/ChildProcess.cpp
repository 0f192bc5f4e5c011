#include "tests/testkit/ChildProcess.h"

#include <QElapsedTimer>
#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

ChildProcess::~ChildProcess()
{
    if (running()) kill();
    closePipes();
}

bool ChildProcess::start(const QString& program, const QStringList& arguments, Output output, const QString& errorFile)
{
    int out[2] = {-1, -1};
    int err[2] = {-1, -1};
    if (::pipe2(out, O_CLOEXEC) != 0) return false;
    if (output == Output::Separate && errorFile.isEmpty() && ::pipe2(err, O_CLOEXEC) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    if (!errorFile.isEmpty())
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, QFile::encodeName(errorFile).constData(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
    else
        posix_spawn_file_actions_adddup2(&actions, output == Output::Merged ? out[1] : err[1], STDERR_FILENO);

    const QByteArray path = QFile::encodeName(program);
    std::vector<QByteArray> kept{path};
    for (const QString& argument : arguments) kept.push_back(argument.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& a : kept) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (char** entry = environ; *entry; ++entry) {
        const char* equals = std::strchr(*entry, '=');
        const QByteArray name(*entry, equals ? equals - *entry : qsizetype(std::strlen(*entry)));
        if (!unset_.contains(QString::fromLocal8Bit(name))) envp.push_back(*entry);
    }
    envp.push_back(nullptr);
    exitCode_ = -1;
    const int failed = ::posix_spawnp(&pid_, path.constData(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (err[1] >= 0) ::close(err[1]);
    output_ = out[0];
    error_ = err[0];
    for (const int fd : {output_, error_})
        if (fd >= 0) ::fcntl(fd, F_SETFL, O_NONBLOCK);
    if (failed != 0) {
        pid_ = -1;
        closePipes();
        return false;
    }
    return true;
}

bool ChildProcess::running()
{
    if (pid_ < 0) return false;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == 0) return true;
    exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    pid_ = -1;
    return false;
}

bool ChildProcess::runToEnd(int limitMs)
{
    if (!running()) return true;
    QElapsedTimer waited;
    waited.start();
    // Readable when the child ends, even if something it started still holds
    // its pipes.
    const int ends = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
    if (ends < 0) return false;
    for (bool ended = false; !ended;) {
        drain(output_, outputKept_);
        drain(error_, errorKept_);
        std::vector<pollfd> watched{{ends, POLLIN, 0}};
        for (const int fd : {output_, error_})
            if (fd >= 0) watched.push_back({fd, POLLIN, 0});
        const qint64 left = limitMs - waited.elapsed();
        if (left <= 0 || ::poll(watched.data(), watched.size(), static_cast<int>(left)) <= 0) break;
        ended = watched[0].revents != 0;
        // A pipe the child has closed, and emptied, is done with.
        for (std::size_t i = 1; i < watched.size(); ++i) {
            if (!(watched[i].revents & POLLHUP) || (watched[i].revents & POLLIN)) continue;
            int& fd = watched[i].fd == output_ ? output_ : error_;
            ::close(fd);
            fd = -1;
        }
    }
    ::close(ends);
    drain(output_, outputKept_);
    drain(error_, errorKept_);
    return !running();
}

bool ChildProcess::terminate(int limitMs)
{
    return signalAndWait(SIGTERM, limitMs);
}

bool ChildProcess::kill(int limitMs)
{
    return signalAndWait(SIGKILL, limitMs);
}

bool ChildProcess::signalAndWait(int signal, int limitMs)
{
    if (!running()) return true;
    // A descriptor that becomes readable when the child ends: no polling.
    const int ends = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
    ::kill(pid_, signal);
    if (ends >= 0) {
        pollfd entry{ends, POLLIN, 0};
        ::poll(&entry, 1, limitMs);
        ::close(ends);
    }
    return !running();
}

void ChildProcess::drain(int fd, QByteArray& into)
{
    if (fd < 0) return;
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got > 0) {
            into.append(buffer, got);
            continue;
        }
        if (got < 0 && errno == EINTR) continue;
        return;
    }
}

QByteArray ChildProcess::readOutput()
{
    QByteArray bytes;
    bytes.swap(outputKept_);
    drain(output_, bytes);
    return bytes;
}

QByteArray ChildProcess::readError()
{
    QByteArray bytes;
    bytes.swap(errorKept_);
    drain(error_, bytes);
    return bytes;
}

QByteArray ChildProcess::readLine(int limitMs)
{
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        drain(output_, outputKept_);
        const qsizetype end = outputKept_.indexOf('\n');
        if (end >= 0) {
            const QByteArray line = outputKept_.left(end + 1);
            outputKept_.remove(0, end + 1);
            return line;
        }
        const qint64 left = limitMs - waited.elapsed();
        if (left <= 0 || output_ < 0) return {};
        pollfd entry{output_, POLLIN, 0};
        if (::poll(&entry, 1, static_cast<int>(left)) > 0 && (entry.revents & POLLHUP) && !(entry.revents & POLLIN))
            return {};
    }
}

void ChildProcess::closePipes()
{
    for (int* fd : {&output_, &error_}) {
        if (*fd >= 0) ::close(*fd);
        *fd = -1;
    }
}
