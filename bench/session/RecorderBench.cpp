// How many frames a second the session recorder sustains on this machine's
// disk, writing as it does in the panel: one JSON object a frame, each line in
// one write() as it comes, and a flush to storage (fdatasync) once a second
// while lines arrive, on the flush worker's thread. The frames are the ones an
// automatic sequence puts on the line, with their descriptions.
//
// The file goes into the folder given (default: the current folder), which
// should be on the disk being measured; it is removed afterwards.
//
//   recorder_bench [folder] [seconds]     defaults: . and 10
#include "session/HashChain.h"
#include "session/LineFile.h"
#include "session/SessionRecorder.h"
#include "transponder/FrameDescription.h"
#include "transponder/MessageSet.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath();
    const int seconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 10;
    const QString path = QDir(folder).filePath(QStringLiteral("recorder-bench.jsonl"));
    QFile::remove(path);

    namespace MessageSet = transponder::MessageSet;
    std::vector<session::TrafficEvent> frames;
    for (char letter : MessageSet::SequenceLetters) {
        frames.push_back({{}, session::TrafficDirection::Sent, MessageSet::Query(letter)});
        frames.push_back({{}, session::TrafficDirection::Received, MessageSet::Set(letter, "1200")});
    }
    const auto describe = [](const session::TrafficEvent& e) {
        return transponder::describeFrame(e.bytes, e.direction == session::TrafficDirection::Sent
                                                       ? transponder::Direction::Sent
                                                       : transponder::Direction::Received);
    };

    std::atomic<int> flushes{0};
    std::atomic<long long> flushNs{0};
    session::SessionRecorder recorder(describe, nullptr, fw::defaultScheduler(), [&](int fd) {
        const auto start = std::chrono::steady_clock::now();
        const int error = session::LineFile::sync(fd);
        flushNs += std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start).count();
        ++flushes;
        return error;
    });
    if (!recorder.start(path, QStringLiteral("COM1"))) return 1;

    const auto start = std::chrono::steady_clock::now();
    const auto end = start + std::chrono::seconds(seconds);
    long long written = 0;
    while (std::chrono::steady_clock::now() < end && recorder.recording()) {
        // A thousand frames, then the event loop runs the flush timer as the
        // panel's would between events.
        for (int i = 0; i < 1000; ++i) {
            session::TrafficEvent event = frames[static_cast<std::size_t>(written % static_cast<long long>(frames.size()))];
            event.time = std::chrono::system_clock::now();
            recorder.traffic(event);
            ++written;
        }
        QCoreApplication::processEvents();
    }
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const auto stopStart = std::chrono::steady_clock::now();
    recorder.stop();
    const double stopMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - stopStart).count();
    const double bytes = static_cast<double>(QFileInfo(path).size());
    QFile::remove(path);

    std::printf("recorder on %s: %lld frames in %.2f s\n", qPrintable(folder), written, elapsed);
    std::printf("  %.0f frames/s, %.1f MB/s, %.0f bytes a line\n", static_cast<double>(written) / elapsed,
                bytes / elapsed / 1e6, bytes / static_cast<double>(written));
    std::printf("  %d flushes (fdatasync) on the worker, %.2f ms each on average; stop() returned in %.2f ms, the "
                "last flush following on the worker\n",
                flushes.load(), flushes > 0 ? static_cast<double>(flushNs.load()) / 1e6 / flushes : 0.0, stopMs);
    std::printf("  the panel puts about 15 frames a second on the line during Auto\n");

    // What the chain adds to each line: its SHA-256 and the field, against the
    // JSON text the line costs without it.
    constexpr int Lines = 200'000;
    QJsonObject object;
    object[QStringLiteral("time")] = QStringLiteral("2026-12-08T10:27:07.594Z");
    object[QStringLiteral("dir")] = QStringLiteral("out");
    object[QStringLiteral("payload")] = QStringLiteral("\u0002a=?\u0003");
    object[QStringLiteral("description")] = QStringLiteral("query altitude");
    session::HashChain chain;
    std::size_t kept = 0;
    const auto jsonStart = std::chrono::steady_clock::now();
    std::string text;
    for (int i = 0; i < Lines; ++i) {
        text = QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
        kept += text.size();
    }
    const auto sealStart = std::chrono::steady_clock::now();
    for (int i = 0; i < Lines; ++i) kept += chain.seal(text).size();
    const auto sealEnd = std::chrono::steady_clock::now();
    const auto perLine = [&](auto from, auto to) {
        return std::chrono::duration<double, std::nano>(to - from).count() / Lines;
    };
    std::printf("  a line's JSON text %.0f ns, its chain %.0f ns more (%zu bytes made)\n",
                perLine(jsonStart, sealStart), perLine(sealStart, sealEnd), kept);
    return 0;
}
