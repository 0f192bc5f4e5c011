#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <sys/types.h>
#include <utility>

// A program the tests start and end: a server, the simulated transponder. It
// is started with posix_spawn rather than QProcess, whose way of starting a
// child escapes the thread checker and leaves it seeing races everywhere
// afterwards; the tests that start servers run under that checker too.
//
// Its standard input is /dev/null; its standard output and error come through
// pipes of their own (or both through one, or the error to a file), read
// without blocking.
class ChildProcess {
public:
    enum class Output { Separate, Merged };

    ChildProcess() = default;
    // Names left out of the environment the next start() hands on.
    explicit ChildProcess(QStringList unsetNames) : unset_(std::move(unsetNames)) {}
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // `errorFile`, when given, takes the standard error instead of a pipe.
    bool start(const QString& program, const QStringList& arguments, Output output = Output::Separate,
               const QString& errorFile = {});
    bool running();
    pid_t pid() const { return pid_; }
    // Its exit code once it has ended normally; -1 while it runs, or when a
    // signal ended it.
    int exitCode() const { return exitCode_; }
    // Keeps what it writes until both pipes close and it ends, waiting at most
    // `limitMs` in all; false when it has not ended by then.
    bool runToEnd(int limitMs);

    // SIGTERM or SIGKILL, then waits at most `limitMs` for the end; false when
    // it has not ended.
    bool terminate(int limitMs = 5000);
    bool kill(int limitMs = 5000);

    // What came on the standard output (everything, when merged) and error
    // since the last call.
    QByteArray readOutput();
    QByteArray readError();
    // The first line of the standard output, waiting at most `limitMs` for it.
    QByteArray readLine(int limitMs);

private:
    bool signalAndWait(int signal, int limitMs);
    static void drain(int fd, QByteArray& into);
    void closePipes();

    QStringList unset_;
    pid_t pid_ = -1;
    int exitCode_ = -1;
    int output_ = -1;
    int error_ = -1;
    QByteArray outputKept_;
    QByteArray errorKept_;
};
