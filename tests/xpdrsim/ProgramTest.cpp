// The real program on a real pseudo-terminal, reached the way the panel reaches
// it: through the link in the port directory.
#include "serial/MessageAssembler.h"
#include "tools/xpdrsim/Frame.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <string_view>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr auto Patience = 5s;

int msLeft(std::chrono::steady_clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::max<long long>(0, left.count()));
}

// The simulator as a child process with its own port directory; it is stopped
// with SIGKILL if a test ends without stopping it.
class RunningSimulator {
public:
    explicit RunningSimulator(std::vector<std::string> args)
    {
        std::string pattern = (fs::temp_directory_path() / "xpdrsim-ports-XXXXXX").string();
        ports_ = mkdtemp(pattern.data());

        int out[2];
        int err[2];
        if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);

        args.insert(args.begin(), XPDRSIM_PROGRAM);
        std::vector<char*> argv;
        for (auto& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        std::vector<std::string> env{"UAVCONTROL_PORTS=" + ports_.string()};
        for (char** e = environ; *e; ++e)
            if (std::string_view(*e).rfind("UAVCONTROL_PORTS=", 0) != 0) env.emplace_back(*e);
        std::vector<char*> envp;
        for (auto& entry : env) envp.push_back(entry.data());
        envp.push_back(nullptr);

        const int failed = posix_spawn(&pid_, XPDRSIM_PROGRAM, &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        close(err[1]);
        out_ = out[0];
        err_ = err[0];
        if (failed) throw std::runtime_error("cannot start " XPDRSIM_PROGRAM);
    }

    ~RunningSimulator()
    {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        close(out_);
        close(err_);
        fs::remove_all(ports_);
    }

    const fs::path& ports() const { return ports_; }

    // The first line the program prints, once it is ready.
    std::string readyLine() { return readLine(out_); }

    // Waits for a line of the traffic log (--log) that holds `text`; false when
    // none comes. What the simulator does on its own, such as noticing that the
    // port was closed, can only be waited for this way.
    bool waitForLog(const std::string& text)
    {
        for (std::string line = readLine(err_); !line.empty(); line = readLine(err_))
            if (line.find(text) != std::string::npos) return true;
        return false;
    }

    // Sends `signal` and waits for the exit; the exit status, or -1 when it died
    // of a signal or did not end in time.
    int stop(int signal)
    {
        kill(pid_, signal);
        const auto deadline = std::chrono::steady_clock::now() + Patience;
        int status = 0;
        while (waitpid(pid_, &status, WNOHANG) == 0) {
            if (msLeft(deadline) == 0) return -1;
            std::this_thread::sleep_for(5ms);
        }
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    static std::string readLine(int from)
    {
        std::string line;
        const auto deadline = std::chrono::steady_clock::now() + Patience;
        char c = 0;
        while (c != '\n') {
            pollfd fd{from, POLLIN, 0};
            if (poll(&fd, 1, msLeft(deadline)) <= 0 || read(from, &c, 1) != 1) return line;
            if (c != '\n') line += c;
        }
        return line;
    }

    fs::path ports_;
    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
};

// The port as the panel opens it: raw, non-blocking.
class Port {
public:
    explicit Port(const fs::path& path)
    {
        const auto deadline = std::chrono::steady_clock::now() + Patience;
        // A line still held exclusively is released by the simulator once it has
        // seen the previous holder close.
        while ((fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) < 0 && errno == EBUSY
               && msLeft(deadline) > 0)
            std::this_thread::sleep_for(10ms);
        if (fd_ < 0) return;
        termios settings{};
        tcgetattr(fd_, &settings);
        cfmakeraw(&settings);
        tcsetattr(fd_, TCSANOW, &settings);
    }
    ~Port()
    {
        if (fd_ >= 0) close(fd_);
    }
    bool isOpen() const { return fd_ >= 0; }
    int fd() const { return fd_; }

    void send(const std::string& text)
    {
        const std::string frame = xpdrsim::STX + text + xpdrsim::ETX;
        ASSERT_EQ(write(fd_, frame.data(), frame.size()), static_cast<ssize_t>(frame.size()));
    }

    bool waitReadable()
    {
        pollfd fd{fd_, POLLIN, 0};
        return poll(&fd, 1, static_cast<int>(std::chrono::milliseconds(Patience).count())) == 1;
    }

    // The next whole message, or nothing within the patience.
    std::optional<std::string> receive()
    {
        const auto deadline = std::chrono::steady_clock::now() + Patience;
        for (;;) {
            char c;
            const ssize_t n = read(fd_, &c, 1);
            if (n == 1) {
                if (assembler_.push(c, {})) return assembler_.message();
                continue;
            }
            pollfd fd{fd_, POLLIN, 0};
            if (poll(&fd, 1, msLeft(deadline)) <= 0) return std::nullopt;
        }
    }

private:
    int fd_ = -1;
    MessageAssembler assembler_;
};

} // namespace

TEST(Program, AnswersThroughItsPortLinkAndRemovesTheLinkOnStop)
{
    for (int signal : {SIGTERM, SIGINT}) {
        RunningSimulator simulator({"--link", "COM5", "--rate", "0"});
        const std::string ready = simulator.readyLine();
        ASSERT_EQ(ready.rfind("xpdrsim: COM5 -> /dev/pts/", 0), 0u) << ready;
        const fs::path link = simulator.ports() / "COM5";
        EXPECT_EQ(fs::read_symlink(link).string(), ready.substr(ready.find("/dev/pts/")));

        {
            Port port(link);
            ASSERT_TRUE(port.isOpen());
            port.send("s=?");
            EXPECT_EQ(port.receive(), "\x02s=t\x03");
            port.send("c=4781");
            port.send("c=4701");
            EXPECT_EQ(port.receive(), "\x02" "c=1200\x03") << "8 is no octal digit";
            EXPECT_EQ(port.receive(), "\x02" "c=4701\x03");
        }
        EXPECT_EQ(simulator.stop(signal), 0) << strsignal(signal);
        EXPECT_FALSE(fs::exists(fs::symlink_status(link))) << strsignal(signal);
    }
}

// A panel that disconnects, even one that dies holding the port exclusively,
// leaves nothing behind for the next connection: no lock, no stale reply. (The
// simulator learns of the close a moment after it happened; a panel takes far
// longer than that to reconnect, the test waits for it.)
TEST(Program, GivesEachConnectionAFreshLine)
{
    RunningSimulator simulator({"--link", "COM2", "--rate", "0", "--log"});
    ASSERT_NE(simulator.readyLine(), "");
    const fs::path link = simulator.ports() / "COM2";
    {
        Port first(link);
        ASSERT_TRUE(first.isOpen());
        ASSERT_EQ(ioctl(first.fd(), TIOCEXCL), 0);
        first.send("s=?");
        ASSERT_TRUE(first.waitReadable());
    }
    for (int connection = 0; connection < 3; ++connection) {
        ASSERT_TRUE(simulator.waitForLog("port closed"));
        Port next(link);
        ASSERT_TRUE(next.isOpen()) << strerror(errno);
        next.send("c=?");
        EXPECT_EQ(next.receive(), "\x02" "c=1200\x03") << connection;
        int exclusive = -1;
        ASSERT_EQ(ioctl(next.fd(), TIOCGEXCL, &exclusive), 0);
        EXPECT_EQ(exclusive, 0);
    }
    EXPECT_EQ(simulator.stop(SIGTERM), 0);
}

TEST(Program, SendsInterrogationReportsOnItsOwn)
{
    RunningSimulator simulator({"--link", "COM3", "--rate", "20"});
    ASSERT_NE(simulator.readyLine(), "");
    Port port(simulator.ports() / "COM3");
    ASSERT_TRUE(port.isOpen());
    EXPECT_EQ(port.receive(), "\x02*=\x03");
    port.send("r=n");
    // Reports already on their way may still come; then the reply, then nothing.
    std::optional<std::string> message;
    while ((message = port.receive()) == "\x02*=\x03") {}
    EXPECT_EQ(message, "\x02r=N\x03");
    pollfd fd{port.fd(), POLLIN, 0};
    EXPECT_EQ(poll(&fd, 1, 300), 0) << "no report after interrogation replies were switched off";
    EXPECT_EQ(simulator.stop(SIGTERM), 0);
}

// A recording of one session in a folder of its own: a start, then frame lines
// (or, for "alarm", the link-lost alarm in the given state) at the given ms
// (under 10 s) into the session.
struct Recording {
    explicit Recording(std::initializer_list<std::tuple<int, const char*, const char*>> frames)
    {
        std::ofstream file(path);
        file << R"({"port":"COM1","program":"uavControl","time":"2026-12-07T20:00:00.000Z","version":"1"})" "\n";
        for (const auto& [ms, dir, text] : frames)
            file << (std::string_view(dir) == "alarm" ? R"({"alarm":"link-lost","value":"","state":")" + std::string(text)
                     : R"({"description":"","dir":")" + std::string(dir) + R"(","payload":"\u0002)" + text + "\\u0003")
                 << R"(","time":"2026-12-07T20:00:0)" << ms / 1000 << '.' << std::setfill('0') << std::setw(3)
                 << ms % 1000 << "Z\"}\n";
    }
    ~Recording() { fs::remove_all(folder); }
    fs::path folder = mkdtemp((fs::temp_directory_path() / "xpdrsim-replay-XXXXXX").string().data());
    std::string path = (folder / "r.jsonl").string();
};

// The replay's clock stands until the panel's first question, so that what
// was recorded after the start of recording is met whatever the panel's
// start-up takes; a reply that came late on record comes as late again; a
// loss of the link on record unplugs the device until the link returns.
TEST(Program, AReplayStartsAtTheFirstQuestionAndAnswersAsLateAsOnRecord)
{
    const Recording recording({{100, "out", "a=?"}, {105, "in", "a=1000"}, {150, "in", "*="},
                               {200, "out", "v=?"}, {700, "in", "v=27.9"}, {1000, "alarm", "active-unacknowledged"},
                               {2000, "alarm", "normal"}, {3000, "out", "a=?"}});
    RunningSimulator simulator({"--link", "COM4", "--log", "--replay", recording.path});
    ASSERT_NE(simulator.readyLine(), "");
    Port port(simulator.ports() / "COM4");
    ASSERT_TRUE(port.isOpen());
    ASSERT_TRUE(simulator.waitForLog("port opened"));
    pollfd fd{port.fd(), POLLIN, 0};
    EXPECT_EQ(poll(&fd, 1, 300), 0) << "the recorded report came before any question";
    port.send("a=?");
    EXPECT_EQ(port.receive(), "\x02" "a=1000\x03");
    EXPECT_EQ(port.receive(), "\x02*=\x03");
    const auto asked = std::chrono::steady_clock::now();
    port.send("v=?");
    EXPECT_EQ(port.receive(), "\x02" "v=27.9\x03");
    EXPECT_GE(std::chrono::steady_clock::now() - asked, 500ms);
    EXPECT_EQ(poll(&fd, 1, 2000), 1);
    EXPECT_TRUE(fd.revents & POLLHUP) << "the port goes as an unplugged adapter's";
    EXPECT_NE(simulator.readyLine(), "") << "a new device announced when the link returns";
    EXPECT_TRUE(Port(simulator.ports() / "COM4").isOpen());
    EXPECT_EQ(simulator.stop(SIGTERM), 0);
}

TEST(Program, AReplayOfBadInputExits2)
{
    const Recording shortSession({{100, "out", "a=?"}, {105, "in", "a=1000"}});
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--replay", shortSession.path + ".missing"},
                                                 {"--replay", shortSession.path, "--session", "2"},
                                                 {"--replay", shortSession.path, "--loop"}}) // under a second
        EXPECT_EQ(RunningSimulator(args).stop(0), 2) << args.back(); // no signal: its own end
}
