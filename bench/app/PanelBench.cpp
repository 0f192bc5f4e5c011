#include "PanelBench.h"

#include "serial/Serial2.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <fstream>
#include <string>
#include <time.h>

namespace bench {

void choosePlatform()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
}

void setUpLikeTheProgram(QApplication& app)
{
    app.setApplicationName(QStringLiteral("uavControl"));
    app.setStyle(QStringLiteral("Windows"));
}

double cpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

long long nowNs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<long long>(t.tv_sec) * 1'000'000'000LL + t.tv_nsec;
}

long statusKb(const char* field, pid_t pid)
{
    std::ifstream in(pid == 0 ? std::string("/proc/self/status") : "/proc/" + std::to_string(pid) + "/status");
    const std::string wanted = std::string(field) + ":";
    std::string key;
    while (in >> key) {
        if (key == wanted) {
            long kb = -1;
            in >> kb;
            return kb;
        }
        std::getline(in, key);
    }
    return -1;
}

void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

bool runUntil(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer elapsed;
    elapsed.start();
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (done() || elapsed.elapsed() > timeoutMs) loop.quit();
    });
    check.start(5);
    if (!done()) loop.exec();
    return done();
}

Simulator::Simulator(int port, const QStringList& options, const QString& logFile)
{
    if (!logFile.isEmpty()) process_.setStandardErrorFile(logFile);
    const QString link = QStringLiteral("COM%1").arg(port);
    process_.start(QStringLiteral(XPDRSIM_PATH), QStringList{QStringLiteral("--link"), link} + options);
    // Ready once it has named its device, which it does after linking it.
    ready_ = process_.waitForStarted(5000) && process_.waitForReadyRead(5000) &&
             process_.readLine().startsWith("xpdrsim: " + link.toLatin1());
}

Simulator::~Simulator()
{
    if (process_.state() == QProcess::NotRunning) return;
    process_.terminate();
    process_.waitForFinished(5000);
}

bool connectPanel(TForm1& form, int port)
{
    control<QLineEdit>(form, "edCommPort")->setText(QString::number(port));
    control<QPushButton>(form, "btnConnect")->click();
    return form.SerialComm->Active();
}

void disconnectPanel(TForm1& form)
{
    control<QPushButton>(form, "btnConnect")->click();
}

void pressAuto(TForm1& form)
{
    control<QPushButton>(form, "autobtn")->click();
}

void printPlatform()
{
    std::printf("platform: %s (Qt %s)\n", qPrintable(QGuiApplication::platformName()), qVersion());
}

} // namespace bench
