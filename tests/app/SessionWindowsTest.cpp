// The session's menus and windows in the main window: where they sit, the
// sequences the record gets from the window, and the monitor's own controls.
#include "PanelFixture.h"

#include "app/PanelApplication.h"
#include "app/PanelSettings.h"
#include "app/PanelStatusBar.h"
#include "app/RecordingReview.h"
#include "app/ReviewBar.h"
#include "app/SessionControls.h"
#include "app/TrafficMonitor.h"
#include "app/TrendPlot.h"
#include "app/TrendsWindow.h"
#include "session/RecordedTrafficModel.h"
#include "session/RecordingIndex.h"
#include "session/SessionRecorder.h"
#include "session/TrafficModel.h"
#include "session/TrendData.h"
#include "tests/testkit/EventLoopWait.h"
#include "tests/testkit/MalformedRecording.h"
#include "tests/testkit/SpecialFiles.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTableView>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>

using SessionWindows = PanelTest;

namespace {

std::vector<QJsonObject> sequencesIn(const QString& path)
{
    std::vector<QJsonObject> sequences;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return sequences;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        if (o.contains(QStringLiteral("answered"))) sequences.push_back(o);
    }
    return sequences;
}

QStringList texts(const QList<QAction*>& actions)
{
    QStringList list;
    for (const QAction* a : actions) list << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return list;
}

// Runs `whileUp` inside the modal dialog that `open` brings up, then closes it.
void withDialogUp(const std::function<void()>& open, const std::function<void()>& whileUp)
{
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
        QWidget* up = QApplication::activeModalWidget();
        if (!up) return;
        look.stop();
        whileUp();
        up->close();
    });
    look.start(1);
    open();
}

} // namespace

// A recording opens in windows of its own, titled with its name, and notes
// what the file holds; a session and a moment chosen move the monitor to the
// first line of that moment and the trends to that moment.
TEST_F(SessionWindows, ARecordingOpensInItsOwnWindowsAndMovesToTheMomentChosen)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("flight.jsonl"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(recordingText(malformedRecording()));
    file.close();

    RecordingReview* review = form->Session().openRecording(path);
    ASSERT_NE(review, nullptr);
    ASSERT_TRUE(runUntil([&] { return review->index().complete(); }, 10'000));
    EXPECT_EQ(review->monitor()->windowTitle(), QStringLiteral("Traffic Monitor \u2014 flight.jsonl"));
    EXPECT_EQ(review->trendsWindow()->windowTitle(), QStringLiteral("Trends \u2014 flight.jsonl"));
    EXPECT_EQ(review->bar()->note(),
              QStringLiteral("4 lines do not read; they are shown as \"bad\". The recording ends in a partial last "
                             "line, as a crash leaves it. It carries no hash chain. The file holds 2 sessions."));
    EXPECT_EQ(review->lines().rowCount(), 7); // the first session

    review->bar()->findChild<QComboBox*>(QStringLiteral("reviewSession"))->setCurrentIndex(1);
    qint64 alarm = 0;
    ASSERT_TRUE(session::parseRecordTime(u"2026-12-08T08:00:01.000Z", alarm));
    review->goTo(alarm - 500);
    EXPECT_TRUE(review->monitor()->selectedText().contains(QStringLiteral("  alarm  ")));
    EXPECT_EQ(review->trends(2).nowMs(), alarm - 500);

    // The review ends with its monitor, even one closed while the file is
    // still being read: what the reader hands over meanwhile goes nowhere.
    const QPointer<RecordingReview> closing = review;
    review->monitor()->close();
    const QPointer<RecordingReview> early = form->Session().openRecording(path);
    delete early->monitor();
    EXPECT_TRUE(serveWhatIsQueued());
    for (int i = 0; i < 2; ++i) QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(closing.isNull());
    EXPECT_TRUE(early.isNull());
}

// Open Recording… reads regular files only: a named pipe with no writer would
// hold the window thread in its opening, a device could be endless. Each is
// refused with a box that names it, and no window opens.
TEST_F(SessionWindows, ARecordingThatIsNoRegularFileIsRefusedWithABoxBeforeAnythingBlocks)
{
    for (SpecialFile kind : SpecialFiles) {
        SCOPED_TRACE(specialFileName(kind));
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("flight.jsonl"));
        ASSERT_TRUE(makeSpecialFile(kind, path));
        boxes.shown.clear();
        EXPECT_EQ(form->Session().openRecording(path), nullptr);
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_EQ(boxes.shown[0].text, QStringLiteral("Cannot open the recording \"%1\": %2 is not a regular file.")
                                           .arg(path, QLatin1String(specialFileName(kind))));
        for (const QWidget* window : QApplication::topLevelWidgets())
            EXPECT_FALSE(window->windowTitle().contains(QStringLiteral("flight.jsonl")));
    }
}

TEST_F(SessionWindows, OurOwnDialogsLeaveTheSequenceRunningAndTheRecordWhole)
{
    setUpPanelApplication(*qApp); // what holds the idle handler back, as in the program
    QTemporaryDir dir;            // for the record, and as Ports…' empty device list
    qputenv("UAVCONTROL_DEVICES", dir.path().toLocal8Bit());
    const QString path = dir.filePath(QStringLiteral("s.jsonl"));
    connectPort();
    ASSERT_TRUE(form->Session().startRecording(path));
    click("autobtn");
    auto press = [](QWidget* in, const char* name) {
        QTest::mouseClick(in->findChild<QPushButton*>(QString::fromLatin1(name)), Qt::LeftButton);
    };
    const std::pair<const char*, std::function<void()>> dialogs[] = {
        {"File → Record Session…", [&] { form->findChild<QAction*>(QStringLiteral("mnuRecordSession"))->trigger(); }},
        {"File → Open Recording…", [&] { form->findChild<QAction*>(QStringLiteral("mnuOpenRecording"))->trigger(); }},
        {"Traffic Monitor → Save…", [&] { press(form->Session().showMonitor(), "monitorSave"); }},
        {"a trend's Save PNG…", [&] { press(form->Session().showTrends()->plot(0), "savePng"); }},
        {"Setup → Ports… → Add network port…", [&] {
             form->mnuPorts->trigger();
             press(form->findChild<QDialog*>(QStringLiteral("PortsDialog")), "addNetwork");
         }},
    };
    for (const auto& [name, open] : dialogs) {
        clock.advance(1000); // the countdown: a sequence starts
        std::string asked;
        withDialogUp(open, [&] {
            for (int step = 0; step < 14; ++step) {
                clock.advance(60);
                idle();
                const std::string sent = wire(15);
                asked += sent.size() == 5 ? sent[1] : '-'; // one query, 60 ms after the reply before it
                reply(asked.substr(asked.size() - 1) + "=1");
                idle();
            }
        });
        EXPECT_EQ(asked, "acfirsvounldze") << name;
    }
    const auto sequences = sequencesIn(path);
    EXPECT_EQ(sequences.size(), std::size(dialogs));
    for (const QJsonObject& s : sequences) EXPECT_TRUE(s.value(QStringLiteral("unanswered")).toArray().isEmpty());
}

TEST_F(SessionWindows, FileItemsSitAboveExitAndViewComesAfterSetup)
{
    QMenuBar* bar = form->menuBar();
    EXPECT_EQ(texts(bar->actions()), (QStringList{"File", "Setup", "&View", "&Tools"}));
    EXPECT_EQ(texts(find<QMenu>("File1")->actions()),
              (QStringList{QStringLiteral("&Record Session…"), "&Stop Recording", QStringLiteral("&Open Recording…"), "-",
                           "E&xit"}));
    EXPECT_EQ(texts(find<QMenu>("Setup1")->actions()),
              (QStringList{"Auto Sequence", QStringLiteral("&Ports…"), "&Reconnect automatically",
                           QStringLiteral("Alarm &Limits…"), "Confirm &Emergency Codes"}));
    EXPECT_EQ(texts(find<QMenu>("View1")->actions()), (QStringList{"&Traffic Monitor", "T&rends", "&Fleet", "&Alarms"}));

    QAction* stop = form->findChild<QAction*>(QStringLiteral("mnuStopRecording"));
    auto* statusBar = find<PanelStatusBar>("StatusBar1");
    EXPECT_FALSE(stop->isEnabled());
    QTemporaryDir dir;
    ASSERT_TRUE(form->Session().startRecording(dir.filePath(QStringLiteral("s.jsonl"))));
    EXPECT_TRUE(stop->isEnabled());
    EXPECT_EQ(statusBar->recording(), QStringLiteral("Recording s.jsonl"));
    stop->trigger();
    EXPECT_FALSE(form->Session().recorder().recording());
    EXPECT_FALSE(stop->isEnabled());
    EXPECT_EQ(statusBar->recording(), QString());
}

TEST_F(SessionWindows, EachSequenceGoesOnRecordWhenItsLastReplyIsDecodedOrTheWatchdogCutsItShort)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("s.jsonl"));
    connectPort();
    ASSERT_TRUE(form->Session().startRecording(path));
    wire();
    click("autobtn");
    clock.advance(1000); // the first sequence starts
    // Every query answered but the fifth ("r"), whose silence stalls the sequence.
    for (int step = 0; step < 5; ++step) {
        clock.advance(60);
        idle();
        const std::string sent = wire(15);
        ASSERT_EQ(sent.size(), 5u);
        if (sent[1] == 'r') break;
        reply(std::string(1, sent[1]) + (sent[1] == 'c' ? "=7700" : "=1"));
        idle();
    }
    EXPECT_TRUE(sequencesIn(path).empty());
    clock.advance(6000 - clock.nowMs()); // the watchdog, five seconds after the start
    auto sequences = sequencesIn(path);
    ASSERT_EQ(sequences.size(), 1u);
    EXPECT_EQ(sequences[0].value(QStringLiteral("answered")).toInt(), 4);
    EXPECT_EQ(sequences[0].value(QStringLiteral("unanswered")).toArray().first().toString(), QStringLiteral("r"));
    EXPECT_EQ(sequences[0].value(QStringLiteral("code")).toString(), QStringLiteral("7700"))
        << "the display as it stood before the watchdog";
    auto* statusBar = find<PanelStatusBar>("StatusBar1");
    EXPECT_EQ(statusBar->linkQuality(), QStringLiteral("4/5 answered · last reply 4 s ago"));

    // The next sequence, answered in full: on record as its "e" reply is decoded.
    clock.advance(1000);
    for (int step = 0; step < 14; ++step) {
        clock.advance(60);
        idle();
        const std::string sent = wire(15);
        ASSERT_EQ(sent.size(), 5u);
        reply(std::string(1, sent[1]) + "=1");
        const std::size_t before = sequencesIn(path).size();
        idle();
        if (step < 13) continue;
        EXPECT_EQ(before, 1u) << "not before the reply is decoded";
    }
    sequences = sequencesIn(path);
    ASSERT_EQ(sequences.size(), 2u);
    EXPECT_EQ(sequences[1].value(QStringLiteral("answered")).toInt(), 14);
    EXPECT_TRUE(sequences[1].value(QStringLiteral("unanswered")).toArray().isEmpty());
    EXPECT_EQ(statusBar->linkQuality(), QStringLiteral("14/14 answered · last reply <1 s ago"));
    click("btnConnect"); // Disconnect
    clock.advance(31'000);
    EXPECT_TRUE(statusBar->linkQuality().startsWith(QStringLiteral("14/14 answered · closed "))) << "no age counting on";
}

TEST_F(SessionWindows, APausedMonitorShowsNothingNewWhileTheRecordGoesOn)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("s.jsonl"));
    connectPort();
    ASSERT_TRUE(form->Session().startRecording(path));
    TrafficMonitor* monitor = form->Session().showMonitor();
    QTableView* lines = monitor->findChild<QTableView*>(QStringLiteral("monitorLines"));
    QTest::mouseClick(monitor->findChild<QPushButton*>(QStringLiteral("monitorPause")), Qt::LeftButton);

    reply(std::vector<std::string>{"a=1000", "v=27.9"});
    idle();
    clock.advance(session::TrafficModel::PublishMs);
    EXPECT_EQ(lines->model()->rowCount(), 0);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().count('\n'), 3) << "the start and both frames";

    QTest::mouseClick(monitor->findChild<QPushButton*>(QStringLiteral("monitorPause")), Qt::LeftButton);
    EXPECT_EQ(lines->model()->rowCount(), 2);
}

TEST_F(SessionWindows, TheMonitorFiltersCopiesAndSavesWhatItShows)
{
    connectPort();
    TrafficMonitor* monitor = form->Session().showMonitor();
    click("btnPing");
    sendRaw("junk" + framed("p=Y") + framed("a=1000"), 2);
    idle();
    clock.advance(session::TrafficModel::PublishMs);
    auto* direction = monitor->findChild<QComboBox*>(QStringLiteral("monitorDirection"));
    auto* letter = monitor->findChild<QComboBox*>(QStringLiteral("monitorLetter"));
    QTableView* lines = monitor->findChild<QTableView*>(QStringLiteral("monitorLines"));
    ASSERT_EQ(lines->model()->rowCount(), 4);

    direction->setCurrentIndex(direction->findText(QStringLiteral("Noise")));
    ASSERT_EQ(lines->model()->rowCount(), 1);
    EXPECT_TRUE(form->Session().traffic().rowText(0).contains(QStringLiteral("noise  junk"))) << "noise shows as noise";

    direction->setCurrentIndex(0);
    letter->setCurrentIndex(letter->findText(QStringLiteral("p")));
    ASSERT_EQ(lines->model()->rowCount(), 2);
    lines->selectAll();
    const QStringList copied = monitor->selectedText().split(QLatin1Char('\n'));
    ASSERT_EQ(copied.size(), 2);
    QApplication::clipboard()->clear();
    QTest::keySequence(lines, QKeySequence::Copy);
    EXPECT_EQ(QApplication::clipboard()->text(), copied.join(QLatin1Char('\n')) + QLatin1Char('\n'))
        << "Ctrl+C copies the selected lines whole";
    EXPECT_TRUE(copied[0].contains(QStringLiteral("out    <STX>p=y<ETX>")));
    EXPECT_TRUE(copied[1].contains(QStringLiteral("in     <STX>p=Y<ETX>")));

    QTemporaryDir dir;
    const QString saved = dir.filePath(QStringLiteral("lines.txt"));
    ASSERT_TRUE(monitor->saveShownLines(saved));
    QFile file(saved);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(file.readAll()), copied.join(QLatin1Char('\n')) + QLatin1Char('\n'));

    EXPECT_FALSE(monitor->saveShownLines(dir.filePath(QStringLiteral("missing/lines.txt"))));
    EXPECT_EQ(boxes.shown.size(), 1u);
}

TEST_F(SessionWindows, AClosedMonitorShowsOnReopeningWhatCameMeanwhile)
{
    connectPort();
    TrafficMonitor* monitor = form->Session().showMonitor();
    monitor->close();
    reply(std::vector<std::string>{"a=1000", "v=27.9"});
    idle();
    clock.advance(session::TrafficModel::PublishMs);
    EXPECT_EQ(form->Session().showMonitor(), monitor);
    QTableView* lines = monitor->findChild<QTableView*>(QStringLiteral("monitorLines"));
    ASSERT_EQ(lines->model()->rowCount(), 2);
    lines->selectAll();
    EXPECT_EQ(monitor->selectedText().count(QLatin1Char('\n')), 1);
}

TEST_F(SessionWindows, EverySaveGoesOnlyToARegularFileOrANewNameAndNeverOverADevicePipeOrFolder)
{
    SessionControls& session = form->Session();
    const std::function<bool(const QString&)> saves[] = {
        [&](const QString& p) { return session.showMonitor()->saveShownLines(p); },
        [&](const QString& p) { return session.showTrends()->plot(session::TrendData::Offset)->savePng(p); },
        [&](const QString& p) { const bool on = session.startRecording(p); session.stopRecording(); return on; }};
    const std::pair<bool (*)(const QByteArray&), bool> targets[] = { // made at the path → written to
        {[](const QByteArray& p) { return ::close(::creat(p, 0600)) == 0; }, true},
        {[](const QByteArray&) { return true; }, true}, // a new name
        {[](const QByteArray& p) { return ::close(::creat(p + ".to", 0600)) == 0 && ::symlink(p + ".to", p) == 0; }, true},
        {[](const QByteArray& p) { return ::mknod(p, S_IFCHR | 0600, 0x103) == 0; }, false}, // 1, 3: null's numbers
        {[](const QByteArray& p) { return ::mkfifo(p, 0600) == 0; }, false}, {[](const QByteArray& p) { return ::mkdir(p, 0700) == 0; }, false}};
    for (std::size_t s = 0; s < std::size(saves); ++s)
        for (std::size_t t = 0; t < std::size(targets); ++t) {
            SCOPED_TRACE(::testing::Message() << "save " << s << " onto target " << t);
            QTemporaryDir dir;
            const QString path = dir.filePath(QStringLiteral("target"));
            const auto kind = [&] { struct stat i {}; ::lstat(QFile::encodeName(path), &i); return i.st_mode & S_IFMT; };
            ASSERT_TRUE(targets[t].first(QFile::encodeName(path)));
            const auto before = kind();
            boxes.shown.clear();
            EXPECT_EQ(saves[s](path), targets[t].second);
            EXPECT_EQ(kind(), before ? before : S_IFREG) << "a new name becomes a file, a link stays a link";
            EXPECT_EQ(QFileInfo(path).isFile(), targets[t].second);
            EXPECT_EQ(boxes.shown.size() == 1 && boxes.shown[0].text.contains(QStringLiteral("is not a regular file")),
                      !targets[t].second);
        }
}

TEST_F(SessionWindows, EachFileDialogStartsInTheFolderLastUsedForItsKindAndASaveAddsAMissingSuffix)
{
    panelSettings().remove(QStringLiteral("folders"));
    QTemporaryDir dir;
    QStringList opened; // where each dialog opened; each is answered from inside its own loop
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
            opened << dialog->directory().path();
            dialog->selectFile(dir.filePath(QStringLiteral("plöt alt %1").arg(opened.size())));
            static_cast<QDialog*>(dialog)->accept();
        }
    });
    poll.start(1);
    QWidget* const buttons[] = {
        form->Session().showMonitor()->findChild<QPushButton*>(QStringLiteral("monitorSave")),
        form->Session().showTrends()->plot(session::TrendData::Offset)->findChild<QPushButton*>(QStringLiteral("savePng"))};
    for (QWidget* save : buttons) for (int i = 0; i < 2; ++i) QTest::mouseClick(save, Qt::LeftButton);
    for (int i = 0; i < 2; ++i) form->findChild<QAction*>(QStringLiteral("mnuRecordSession"))->trigger();
    // Opening a recording keeps a folder of its own; only a file that is there can be opened.
    for (int i = 7; i <= 8; ++i) QFile(dir.filePath(QStringLiteral("plöt alt %1").arg(i))).open(QIODevice::WriteOnly);
    for (int i = 0; i < 2; ++i) form->findChild<QAction*>(QStringLiteral("mnuOpenRecording"))->trigger();
    EXPECT_EQ(opened, (QStringList{QDir::homePath(), dir.path(), QDir::homePath(), dir.path(), QDir::homePath(), dir.path(),
                                   QDir::homePath(), dir.path()}));
    EXPECT_TRUE(QFileInfo(dir.filePath(QStringLiteral("plöt alt 4.png"))).isFile());
}
