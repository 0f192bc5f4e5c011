#include "framework/VirtualClock.h"
#include "session/LineFile.h"
#include "session/RecordFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <future>
#include <thread>

using session::LineFile;
using session::RecordFile;

namespace {

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// Waits for what the flush worker does, which happens on its own thread.
bool waitFor(const std::function<bool()>& done)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace

TEST(LineFile, AppendsWholeLinesAndNeverTruncates)
{
    QTemporaryDir dir;
    struct Case {
        const char* name;
        QByteArray before; // the file's contents beforehand; null: no file
        QByteArray after;
    };
    const Case cases[] = {
        {"a new file", QByteArray(), "one\ntwo\n"},
        {"an empty file", "", "one\ntwo\n"},
        {"a file of whole lines", "old\n", "old\none\ntwo\n"},
        {"a file cut off mid-line", "{\"time\":\"2026", "{\"time\":\"2026\none\ntwo\n"},
    };
    for (const Case& c : cases) {
        const QString path = dir.filePath(QString::fromLatin1(c.name));
        if (!c.before.isNull()) writeFile(path, c.before);
        LineFile file;
        ASSERT_EQ(file.open(path.toStdString()), 0) << c.name;
        EXPECT_EQ(file.append("one"), 0) << c.name;
        EXPECT_EQ(file.append("two"), 0) << c.name;
        EXPECT_EQ(file.close(), 0) << c.name;
        EXPECT_EQ(contents(path), c.after) << c.name;
    }
}

TEST(LineFile, ReportsWhatTheSystemRefuses)
{
    QTemporaryDir dir;
    const QString regular = dir.filePath(QStringLiteral("plain"));
    writeFile(regular, "x");

    LineFile underAFile;
    EXPECT_EQ(underAFile.open((regular + QStringLiteral("/record.jsonl")).toStdString()), ENOTDIR);
    EXPECT_FALSE(underAFile.isOpen());
    EXPECT_EQ(underAFile.append("line"), EBADF);

    LineFile full;
    ASSERT_EQ(full.open("/dev/full"), 0);
    EXPECT_EQ(full.append("line"), ENOSPC);
    // A device with nothing of its own to flush counts as flushed.
    LineFile null;
    ASSERT_EQ(null.open("/dev/null"), 0);
    EXPECT_EQ(LineFile::sync(null.descriptor()), 0);
}

TEST(RecordFile, FlushesOnceASecondWhileLinesArriveAndNeverWhenQuiet)
{
    fw::ScopedVirtualClock clock;
    QTemporaryDir dir;
    std::atomic<int> flushes{0};
    RecordFile file(nullptr, clock, [&](int) {
        ++flushes;
        return 0;
    });
    ASSERT_EQ(file.open(dir.filePath(QStringLiteral("record.jsonl"))), 0);
    EXPECT_EQ(clock.nextDueIn(), -1) << "an open file with nothing written must not wake anyone";

    // Lines over two and a half seconds: a flush each second, none between.
    // (Each is waited for: two asked for at once would make one.)
    for (int ms = 0; ms < 2500; ms += 100) {
        ASSERT_EQ(file.append("line"), 0);
        clock.advance(100);
        ASSERT_TRUE(waitFor([&] { return flushes == (ms + 100) / 1000; })) << "at " << ms + 100 << " ms";
    }
    clock.advance(600);
    ASSERT_TRUE(waitFor([&] { return flushes == 3; }));
    EXPECT_EQ(clock.nextDueIn(), -1) << "quiet again: nothing more is due";
    clock.advance(10'000);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(flushes, 3);

    // Stopping flushes what the last second left, on the worker's thread.
    ASSERT_EQ(file.append("last"), 0);
    file.close();
    EXPECT_FALSE(file.isOpen());
    EXPECT_TRUE(waitFor([&] { return flushes == 4; }));
}

TEST(RecordFile, AFlushThatFailsClosesTheFileAndSaysSoOnce)
{
    fw::ScopedVirtualClock clock;
    QTemporaryDir dir;
    RecordFile file(nullptr, clock, [](int) { return EIO; });
    QSignalSpy failed(&file, &RecordFile::failed);
    ASSERT_EQ(file.open(dir.filePath(QStringLiteral("record.jsonl"))), 0);
    ASSERT_EQ(file.append("line"), 0);
    clock.advance(RecordFile::SyncIntervalMs);
    ASSERT_TRUE(waitFor([&] { return failed.count() > 0; }));
    EXPECT_EQ(failed.count(), 1);
    EXPECT_EQ(failed.at(0).at(0).toInt(), EIO);
    EXPECT_FALSE(file.isOpen());
    EXPECT_EQ(contents(dir.filePath(QStringLiteral("record.jsonl"))), "line\n");
}

TEST(RecordFile, TheLastFlushRunsOnTheWorkerAfterCloseHasReturnedAndItsOutcomeIsTold)
{
    const struct {
        const char* name;
        bool abandon;
        int error;
        int told; // closed() signals
    } cases[] = {
        {"closed, flushed", false, 0, 1},
        {"closed, the flush fails", false, EIO, 1},
        {"abandoned, the flush fails", true, EIO, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fw::ScopedVirtualClock clock;
        QTemporaryDir dir;
        std::promise<void> release;
        const std::shared_future<void> released = release.get_future().share();
        std::atomic<bool> flushed{false};
        std::thread::id flushedOn;
        RecordFile file(nullptr, clock, [&](int) {
            flushedOn = std::this_thread::get_id();
            // Held until the test has seen close() return; bounded, so that a
            // flush on the window thread fails the test instead of hanging it.
            released.wait_for(std::chrono::seconds(5));
            flushed = true;
            return c.error;
        });
        QSignalSpy closed(&file, &RecordFile::closed);
        const QString path = dir.filePath(QStringLiteral("record.jsonl"));
        ASSERT_EQ(file.open(path), 0);
        ASSERT_EQ(file.append("line"), 0);
        if (c.abandon)
            file.abandon();
        else
            file.close();
        EXPECT_FALSE(flushed) << "close() waited for the flush";
        EXPECT_FALSE(file.isOpen());
        release.set_value();
        ASSERT_TRUE(waitFor([&] { return flushed.load(); }));
        EXPECT_NE(flushedOn, std::this_thread::get_id());
        if (c.told == 0) continue;
        ASSERT_TRUE(waitFor([&] { return closed.count() == c.told; }));
        EXPECT_EQ(closed.at(0).at(0).toString(), path);
        EXPECT_EQ(closed.at(0).at(1).toInt(), c.error);
    }
}
