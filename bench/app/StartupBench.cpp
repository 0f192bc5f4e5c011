// Start-up to the first painted window, as the program starts: this program
// starts itself again as the panel (built as the program's entry builds it) and
// then a bare Qt window (bare_window_bench) for comparison, several times each.
// The launcher takes the monotonic clock just before posix_spawn and hands the
// stamp over on the command line; the started process stamps main(), the
// application, the window, the first paint event and the end of the first frame
// on the same clock (StartupProbe.h), so each figure counts from the launch,
// the loader and the libraries' initialisers included.
//
//   startup_bench [starts]     default 10
#include "PanelBench.h"
#include "StartupProbe.h"
#include "app/PanelApplication.h"

#include <QScreen>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

struct Start {
    bool ok = false;
    double main = 0, application = 0, window = 0, paint = 0, frame = 0; // ms from launch
    long rss = 0;
};

Start startOnce(const std::string& program)
{
    Start start;
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return start;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    // Qt's notes about the platform would only clutter the figures.
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const long long launched = startup::nowNs();
    std::string stamp = std::to_string(launched);
    std::string path = program;
    std::string flag = startup::ChildSwitch;
    char* args[] = {path.data(), flag.data(), stamp.data(), nullptr};
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, path.c_str(), &actions, nullptr, args, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    std::string text;
    char buffer[512];
    ssize_t n;
    while ((n = ::read(out[0], buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<std::size_t>(n));
    ::close(out[0]);
    if (spawned != 0) return start;
    int status = 0;
    ::waitpid(pid, &status, 0);

    long long mainAt = 0, applicationAt = 0, windowAt = 0, paintAt = 0, frameAt = 0;
    const std::size_t line = text.find("main ");
    if (line == std::string::npos ||
        std::sscanf(text.c_str() + line, "main %lld application %lld window %lld paint %lld frame %lld rss %ld", &mainAt,
                    &applicationAt, &windowAt, &paintAt, &frameAt, &start.rss) != 6 ||
        frameAt == 0)
        return start;
    start.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    start.main = bench::nsToMs(mainAt - launched);
    start.application = bench::nsToMs(applicationAt - launched);
    start.window = bench::nsToMs(windowAt - launched);
    start.paint = bench::nsToMs(paintAt - launched);
    start.frame = bench::nsToMs(frameAt - launched);
    return start;
}

std::string medianRange(std::vector<double> v, const char* unit)
{
    if (v.empty()) return "-";
    std::sort(v.begin(), v.end());
    char text[96];
    std::snprintf(text, sizeof text, "%7.1f %s (%.1f..%.1f)", v[v.size() / 2], unit, v.front(), v.back());
    return text;
}

void printRow(const char* what, const std::vector<Start>& panel, const std::vector<Start>& bare,
              double Start::*field, const char* unit = "ms")
{
    auto column = [&](const std::vector<Start>& starts) {
        std::vector<double> values;
        for (const Start& s : starts) values.push_back(s.*field);
        return medianRange(values, unit);
    };
    std::printf("  %-36s %-28s %s\n", what, column(panel).c_str(), column(bare).c_str());
}

std::unique_ptr<QWidget> panelAsTheProgramShowsIt()
{
    auto form = std::make_unique<TForm1>();
    if (const QScreen* screen = form->screen())
        form->move(screen->availableGeometry().center() - form->rect().center());
    return form;
}

} // namespace

int main(int argc, char** argv)
{
    const long long mainAt = startup::nowNs();
    bench::choosePlatform();
    if (argc >= 3 && std::strcmp(argv[1], startup::ChildSwitch) == 0)
        return startup::runChild(argc, argv, mainAt, setUpPanelApplication, panelAsTheProgramShowsIt);

    const int starts = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    std::vector<Start> panel, bare;
    int failed = 0;
    for (int i = 0; i < starts; ++i) {
        for (auto [program, into] : {std::pair{self, &panel}, std::pair{std::string(BARE_WINDOW_PATH), &bare}}) {
            const Start s = startOnce(program);
            if (s.ok)
                into->push_back(s);
            else
                ++failed;
        }
    }
    std::printf("platform: %s\n", qgetenv("QT_QPA_PLATFORM").constData());
    std::printf("start-up, %d starts each, %d failed; median (min..max), from the launch:\n", starts, failed);
    std::printf("  %-36s %-28s %s\n", "", "panel", "bare QMainWindow");
    printRow("main() entered", panel, bare, &Start::main);
    printRow("QApplication built", panel, bare, &Start::application);
    printRow("main window built", panel, bare, &Start::window);
    printRow("first paint event", panel, bare, &Start::paint);
    printRow("first frame done (target < 500 ms)", panel, bare, &Start::frame);
    std::vector<double> panelRss, bareRss;
    for (const Start& s : panel) panelRss.push_back(static_cast<double>(s.rss) / 1024.0);
    for (const Start& s : bare) bareRss.push_back(static_cast<double>(s.rss) / 1024.0);
    std::printf("  %-36s %-28s %s\n", "VmRSS at the first frame", medianRange(panelRss, "MB").c_str(),
                medianRange(bareRss, "MB").c_str());
    return failed == 0 ? 0 : 1;
}
