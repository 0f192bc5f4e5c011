// Every save of ours, onto each kind of target, and the dialogs that choose it.
#include "PanelFixture.h"

#include "app/PanelSettings.h"
#include "app/SessionControls.h"
#include "app/TrafficMonitor.h"
#include "app/TrendPlot.h"
#include "app/TrendsWindow.h"
#include "session/SessionRecorder.h"
#include "session/TrafficModel.h"
#include "session/TrendData.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>
#include <sys/stat.h>
#include <sys/sysmacros.h>

using Saves = PanelTest;

namespace {

struct stat nodeOf(const QString& path)
{
    struct stat info {};
    ::lstat(QFile::encodeName(path).constData(), &info);
    return info;
}

} // namespace

TEST_F(Saves, GoOnlyToARegularFileOrANewNameAndNeverOverADevicePipeOrFolder)
{
    connectPort();
    TrafficMonitor* monitor = form->Session().showMonitor();
    click("btnPing");
    clock.advance(session::TrafficModel::PublishMs);
    TrendPlot* plot = form->Session().showTrends()->plot(session::TrendData::Offset);
    const std::pair<const char*, std::function<bool(const QString&)>> saves[] = {
        {"monitor lines", [&](const QString& path) { return monitor->saveShownLines(path); }},
        {"plot", [&](const QString& path) { return plot->savePng(path); }},
        {"record", [&](const QString& path) {
             const bool started = form->Session().startRecording(path);
             form->Session().stopRecording();
             return started;
         }},
    };
    const struct {
        const char* name;
        std::function<bool(const QString&)> make;
        bool written;
    } targets[] = {
        {"a regular file", [](const QString& p) { QFile f(p); return f.open(QIODevice::WriteOnly) && f.write("old\n") == 4; }, true},
        {"a new name", [](const QString&) { return true; }, true},
        {"a symbolic link to a file",
         [](const QString& p) { return QFile(p + QStringLiteral(".target")).open(QIODevice::WriteOnly) && QFile::link(p + QStringLiteral(".target"), p); },
         true},
        // The numbers of the null device, made in the test's own folder.
        {"a character device", [](const QString& p) { return ::mknod(QFile::encodeName(p), S_IFCHR | 0600, makedev(1, 3)) == 0; }, false},
        {"a named pipe", [](const QString& p) { return ::mkfifo(QFile::encodeName(p), 0600) == 0; }, false},
        {"a folder", [](const QString& p) { return QDir().mkdir(p); }, false},
    };
    for (const auto& [save, write] : saves) {
        for (const auto& target : targets) {
            SCOPED_TRACE(std::string(save) + " onto " + target.name);
            QTemporaryDir dir;
            const QString path = dir.filePath(QStringLiteral("target"));
            ASSERT_TRUE(target.make(path));
            const struct stat before = nodeOf(path);
            boxes.shown.clear();
            EXPECT_EQ(write(path), target.written);
            const struct stat after = nodeOf(path);
            if (target.written) {
                EXPECT_TRUE(QFileInfo(path).isFile());
                EXPECT_GT(QFileInfo(path).size(), 4);
                EXPECT_EQ(QFileInfo(path).isSymLink(), S_ISLNK(before.st_mode)) << "a link stays a link";
                EXPECT_TRUE(boxes.shown.empty());
            } else {
                EXPECT_EQ(after.st_mode, before.st_mode) << "nothing was put in its place";
                EXPECT_EQ(after.st_rdev, before.st_rdev);
                ASSERT_EQ(boxes.shown.size(), 1u);
                EXPECT_TRUE(boxes.shown[0].text.contains(QStringLiteral("is not a regular file"))) << boxes.shown[0].text.toStdString();
                EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System),
                          QStringList{QStringLiteral("target")}) << "and nothing left beside it";
            }
        }
    }
}

TEST_F(Saves, EachDialogStartsInTheFolderLastUsedForItsKindAndAddsTheMissingSuffix)
{
    panelSettings().remove(QStringLiteral("folders"));
    connectPort();
    TrafficMonitor* monitor = form->Session().showMonitor();
    TrendPlot* plot = form->Session().showTrends()->plot(session::TrendData::Offset);
    const struct {
        const char* save;
        std::function<void()> open;
        QString typed;
        QString saved;
    } saves[] = {
        {"monitor", [&] { QTest::mouseClick(monitor->findChild<QAbstractButton*>(QStringLiteral("monitorSave")), Qt::LeftButton); },
         QStringLiteral("lines.txt"), QStringLiteral("lines.txt")},
        {"plot", [&] { QTest::mouseClick(plot->findChild<QAbstractButton*>(QStringLiteral("savePng")), Qt::LeftButton); },
         QStringLiteral("plöt alt"), QStringLiteral("plöt alt.png")},
        {"record", [&] { form->findChild<QAction*>(QStringLiteral("mnuRecordSession"))->trigger(); },
         QStringLiteral("s.jsonl"), QStringLiteral("s.jsonl")},
    };
    for (const auto& s : saves) {
        SCOPED_TRACE(s.save);
        QTemporaryDir dir;
        // The dialog is answered from inside its own loop, once it is up.
        const auto answer = [&](const QString& file) {
            QString opensIn;
            QTimer poll;
            QObject::connect(&poll, &QTimer::timeout, [&] {
                auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                if (!dialog) return;
                poll.stop();
                opensIn = dialog->directory().absolutePath();
                dialog->selectFile(file);
                static_cast<QDialog*>(dialog)->accept();
            });
            poll.start(1);
            s.open();
            return opensIn;
        };
        EXPECT_EQ(answer(dir.filePath(s.typed)), QDir::homePath()) << "the first time";
        EXPECT_TRUE(QFileInfo(dir.filePath(s.saved)).isFile());
        form->Session().stopRecording();
        EXPECT_EQ(answer(dir.filePath(QStringLiteral("again"))), dir.path()) << "then where it saved last";
        form->Session().stopRecording();
    }
}
