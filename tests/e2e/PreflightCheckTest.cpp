// Tools → Pre-flight Check… against the simulator: it judges through the panel's
// own connection, with a round of its own while Auto is off and the next whole
// sequence while Auto is on, and its report reads back as it was shown.
#include "SimulatorFixture.h"

#include "app/PreflightDialog.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPlainTextEdit>
#include <QProcess>
#include <QSettings>
#include <QTableWidget>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <sys/sysmacros.h>

TEST_F(PanelAgainstSimulator, PreflightCheckJudgesThroughThePanelAndItsReportReadsAsShown)
{
    start();
    click("btnConnect");
    ASSERT_TRUE(form->SerialComm->Active());
    const QString expectations = QStringLiteral("mode=c\ncode=1200\nreplies=on\nvolts=26.0..29.5\nversion=2.14\nping\n");
    const QStringList reported = {"Standby", "1200", "Enabled", "27.9 V", "2.14", "Received"};
    const struct {
        bool autoOn;
        QStringList framesAfterRun; // the frames the simulator gets once Run is pressed
    } cases[] = {
        {false, {"s=?", "c=?", "r=?", "v=?", "z=?", "p=y"}},
        {true, {"a=?", "c=?", "f=?", "i=?", "r=?", "s=?", "v=?", "o=?", "u=?", "n=?", "l=?", "d=?", "z=?", "e=?", "p=y"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.autoOn ? "Auto on" : "Auto off");
        if (c.autoOn) click("autobtn");
        form->findChild<QAction*>(QStringLiteral("mnuPreflight"))->trigger();
        auto* dialog = form->findChild<PreflightDialog*>();
        ASSERT_NE(dialog, nullptr);
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_FALSE(dialog->isModal());
        dialog->findChild<QPlainTextEdit*>(QStringLiteral("expectations"))->setPlainText(expectations);
        // Who checks which aircraft is part of the run: the report signs for it.
        for (const auto& [field, text] : {std::pair{"aircraft", "UAV-07"}, std::pair{"operator", "J. Doe"}}) {
            dialog->findChild<QLineEdit*>(QLatin1String(field))->clear();
            QTest::keyClicks(dialog->findChild<QLineEdit*>(QLatin1String(field)), QLatin1String(text));
        }
        simulator->framesIn();
        QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("run")), Qt::LeftButton);
        ASSERT_TRUE(runUntil([&] { return dialog->results().size() == 6; }, 5000));
        // With Auto on, the tail of a sequence that ran at Run may come first:
        // the check reads from the next start, and fires the ping after its end.
        QStringList frames;
        ASSERT_TRUE(runUntil([&] { return (frames += simulator->framesIn()).contains(QStringLiteral("p=y")); }, 2000));
        frames = frames.mid(0, frames.indexOf(QStringLiteral("p=y")) + 1);
        EXPECT_EQ(frames.mid(frames.size() - c.framesAfterRun.size()), c.framesAfterRun);
        if (!c.autoOn) {
            EXPECT_EQ(frames.size(), c.framesAfterRun.size());
        }

        auto* table = dialog->findChild<QTableWidget*>(QStringLiteral("results"));
        EXPECT_TRUE(dialog->findChild<QPushButton*>(QStringLiteral("saveReport"))->isEnabled());
        for (int row = 0; row < 6; ++row) {
            EXPECT_EQ(table->item(row, PreflightDialog::Reported)->text(), reported[row]);
            const bool pass = row != 0; // the simulator is in Standby
            EXPECT_EQ(table->item(row, PreflightDialog::Result)->text(), pass ? "PASS" : "FAIL");
            EXPECT_EQ(table->item(row, PreflightDialog::Expected)->background().color(),
                      pass ? QColor(0x9c, 0xe6, 0x9c) : QColor(0xf0, 0x8c, 0x8c));
        }
        if (c.autoOn) click("autobtn");
    }
    EXPECT_EQ(QSettings(QStringLiteral("uavcontrol"), QStringLiteral("uavControl"))
                  .value(QStringLiteral("preflight/COM1/expectations")),
              expectations);

    auto* dialog = form->findChild<PreflightDialog*>();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^preflight-UAV-07-\\d{8}T\\d{4}Z\\.pdf$"))
                    .match(dialog->defaultReportName())
                    .hasMatch())
        << dialog->defaultReportName().toStdString();
    // Pictures of the dialog and of the report, for the README.
    const QString pictures = QCoreApplication::applicationDirPath() + QStringLiteral("/../../screenshots");
    QDir().mkpath(pictures);
    EXPECT_TRUE(dialog->grab().save(pictures + QStringLiteral("/preflight-dialog.png")));
    QTemporaryDir folder;
    const QString pdf = folder.filePath(QStringLiteral("report.pdf"));
    // A device is refused: one of the test's own, with null's numbers, never the machine's.
    const QString device = folder.filePath(QStringLiteral("device.pdf"));
    ASSERT_EQ(::mknod(QFile::encodeName(device), S_IFCHR | 0600, makedev(1, 3)), 0) << std::strerror(errno);
    EXPECT_FALSE(dialog->saveReport(device));
    EXPECT_TRUE(dialog->findChild<QLabel*>(QStringLiteral("state"))->text().contains(QLatin1String("a device is not a regular file")));
    ASSERT_TRUE(dialog->saveReport(folder.filePath(QStringLiteral("named.json")))) << "names the pair";
    EXPECT_TRUE(QFileInfo(folder.filePath(QStringLiteral("named.pdf"))).size() > 0);
    EXPECT_TRUE(QFileInfo(folder.filePath(QStringLiteral("named.json"))).size() > 0);
    ASSERT_TRUE(dialog->saveReport(pdf));
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    ASSERT_TRUE(text.waitForFinished(10000));
    const QString page = QString::fromUtf8(text.readAllStandardOutput()).simplified();
    for (const char* shown : {"Pre-flight Check", "Aircraft: UAV-07", "Operator: J. Doe", "Port: COM1", "Firmware: 2.14",
                              "Result: FAIL", "mode=c Mode C Standby FAIL", "code=1200 1200 1200 PASS",
                              "volts=26.0..29.5 26.0 .. 29.5 V 27.9 V PASS", "ping Received Received PASS",
                              "Signature (J. Doe) Date"})
        EXPECT_TRUE(page.contains(QLatin1String(shown))) << shown << " not in: " << page.toStdString();
    QFile json(folder.filePath(QStringLiteral("report.json")));
    ASSERT_TRUE(json.open(QIODevice::ReadOnly));
    const QJsonObject report = QJsonDocument::fromJson(json.readAll()).object();
    EXPECT_EQ(report["aircraft"], "UAV-07");
    EXPECT_EQ(report["operator"], "J. Doe");
    EXPECT_EQ(report["firmware"], "2.14");
    EXPECT_EQ(report["items"].toArray().size(), 6);

    // The report's picture, for the README.
    QFile::remove(pictures + QStringLiteral("/preflight-report.pdf"));
    EXPECT_TRUE(QFile::copy(pdf, pictures + QStringLiteral("/preflight-report.pdf")));
    EXPECT_TRUE(boxes.shown.empty());

    // An edit after the run clears its results: nothing is left to report.
    QTest::keyClicks(dialog->findChild<QLineEdit*>(QStringLiteral("aircraft")), QStringLiteral("9"));
    EXPECT_TRUE(dialog->results().empty());
    EXPECT_FALSE(dialog->findChild<QPushButton*>(QStringLiteral("saveReport"))->isEnabled());
    EXPECT_FALSE(dialog->saveReport(folder.filePath(QStringLiteral("stale.pdf"))));
    EXPECT_FALSE(QFileInfo::exists(folder.filePath(QStringLiteral("stale.pdf"))));

    // Closing the dialog gives up a check that still waits.
    QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("run")), Qt::LeftButton);
    EXPECT_TRUE(dialog->running());
    dialog->hide();
    EXPECT_FALSE(dialog->running());
}
