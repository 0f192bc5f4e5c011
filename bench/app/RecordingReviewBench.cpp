// Opening a recording for review, as File → Open Recording… does: the time
// until the monitor paints its first rows, the time until the index is
// complete, resident memory once it is (and its peak), and scrolling the
// monitor from end to end a page at a time, each page painted at once, with
// the longest frame.
//
// The recording is the given file, or one of N lines made by the generator of
// bench/session (default 2 500 000 lines, two days of Auto) in a temporary
// folder.
//
//   recording_review_bench [FILE | --lines N]
#include "PanelBench.h"

#include "app/RecordingReview.h"
#include "app/TrafficMonitor.h"
#include "app/TrendsWindow.h"
#include "bench/session/RecordingGenerator.h"
#include "session/RecordedTrafficModel.h"
#include "session/RecordingIndex.h"

#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>

#include <algorithm>
#include <cstring>

namespace {

double mb(long kb)
{
    return static_cast<double>(kb) / 1024.0;
}

} // namespace

int main(int argc, char** argv)
{
    bench::choosePlatform();
    QApplication app(argc, argv);
    bench::printPlatform();

    QTemporaryDir folder;
    QString path;
    std::uint64_t lines = 2'500'000;
    if (argc > 2 && std::strcmp(argv[1], "--lines") == 0) lines = std::strtoull(argv[2], nullptr, 10);
    if (argc > 1 && std::strcmp(argv[1], "--lines") != 0) {
        path = QString::fromLocal8Bit(argv[1]);
    } else {
        path = folder.filePath(QStringLiteral("recording.jsonl"));
        std::printf("generating %llu lines...\n", static_cast<unsigned long long>(lines));
        if (!bench::writeRecording(path, lines)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    const long before = bench::statusKb("VmRSS");

    RecordingReview review(path, QIcon());
    long long firstRowsNs = 0;
    const long long start = bench::nowNs();
    if (!review.open()) return 1;
    auto* table = review.monitor()->findChild<QTableView*>(QStringLiteral("monitorLines"));
    bench::PaintWatch watch([&] {
        if (firstRowsNs == 0 && review.lines().rowCount() > 0) firstRowsNs = bench::nowNs() - start;
    });
    table->viewport()->installEventFilter(&watch);
    bool done = false;
    QObject::connect(&review, &RecordingReview::indexed, [&] { done = true; });
    while (!done) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const long long completeNs = bench::nowNs() - start;
    // The last batch's redraws and rows reach the screen.
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
    const long rss = bench::statusKb("VmRSS");
    const long peak = bench::statusKb("VmHWM");

    const session::RecordingIndex& index = review.index();
    // The unreadable lines past the first hundred are counted, not indexed.
    const quint64 leftOut = index.unparsed() - std::min(index.unparsed(), session::RecordingIndex::MaxIndexedUnreadable);
    const auto fileLines = static_cast<unsigned long long>(index.lineCount() + leftOut);
    std::printf("recording: %s, %.0f MB, %llu lines (%llu indexed), %zu session(s), %llu that do not read\n",
                qPrintable(path), static_cast<double>(QFileInfo(path).size()) / 1e6, fileLines,
                static_cast<unsigned long long>(index.lineCount()), index.sessions().size(),
                static_cast<unsigned long long>(index.unparsed()));
    std::printf("  first rows shown     %8.1f ms   (target < 500 ms)\n", bench::nsToMs(firstRowsNs));
    std::printf("  index complete       %8.1f ms   (%.0f lines/s)\n", bench::nsToMs(completeNs),
                static_cast<double>(fileLines) / (bench::nsToMs(completeNs) / 1000.0));
    std::printf("  resident memory      %8.1f MB   (before opening %.1f MB, peak %.1f MB; target < 150 MB)\n",
                mb(rss), mb(before), mb(peak));

    // End to end as the operator would: page by page through the first
    // thousand rows, the scroll bar's thumb dragged to the end in a thousand
    // steps, page by page through the last thousand rows, then the top again in
    // one jump; each position painted before the next.
    QScrollBar* bar = table->verticalScrollBar();
    bar->setValue(0);
    QCoreApplication::processEvents();
    const int pages = std::max(1, (bar->maximum() + bar->pageStep() - 1) / bar->pageStep());
    std::vector<int> positions;
    for (int v = 0; v < std::min(bar->maximum(), 1000); v += bar->pageStep()) positions.push_back(v);
    for (int i = 1; i <= 1000; ++i)
        positions.push_back(static_cast<int>(static_cast<long long>(bar->maximum()) * i / 1000));
    for (int v = std::max(0, bar->maximum() - 1000); v <= bar->maximum(); v += bar->pageStep()) positions.push_back(v);
    positions.push_back(0);
    double worst = 0;
    double total = 0;
    std::size_t worstAt = 0;
    for (std::size_t i = 0; i < positions.size(); ++i) {
        const long long t0 = bench::nowNs();
        bar->setValue(positions[i]);
        table->viewport()->repaint();
        const double ms = bench::nsToMs(bench::nowNs() - t0);
        if (ms > worst) worstAt = i;
        worst = std::max(worst, ms);
        total += ms;
    }
    std::printf("  scrolling end to end %zu frames over %d pages: mean %.2f ms, longest %.2f ms (frame %zu)   "
                "(target: none over 16 ms)\n",
                positions.size(), pages, total / static_cast<double>(positions.size()), worst, worstAt + 1);
    return 0;
}
