#include "PanelBench.h"

#include "serial/Serial2.h"

#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <time.h>
#include <unistd.h>

namespace bench {

void choosePlatform()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
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

void linkAtOnce(const std::string& directory, const std::string& target)
{
    const std::string temporary = directory + "/.COM1.new";
    ::unlink(temporary.c_str());
    if (::symlink(target.c_str(), temporary.c_str()) != 0 || ::rename(temporary.c_str(), (directory + "/COM1").c_str()) != 0) {
        std::perror("link");
        std::exit(1);
    }
}

bool connectPanel(TForm1& form, int port)
{
    control<QLineEdit>(form, "edCommPort")->setText(QString::number(port));
    control<QPushButton>(form, "btnConnect")->click();
    return form.SerialComm->Active();
}

bool connectThroughSer2net(TForm1& form, const PortDirectory& ports, Ser2netProcess& ser2net, int port)
{
    if (!ser2net.start()) {
        std::fprintf(stderr, "ser2net did not start: %s\n", qPrintable(ser2net.output()));
        return false;
    }
    std::ofstream(ports.path() + "/COM" + std::to_string(port)) << ser2net.entry().toStdString() << "\n";
    if (connectPanel(form, port)) return true;
    std::fprintf(stderr, "the panel did not open COM%d\n", port);
    return false;
}

bool showAndConnect(TForm1& form, int port)
{
    form.show();
    form.activateWindow();
    runFor(500);
    if (!connectPanel(form, port)) {
        std::fprintf(stderr, "the panel did not open COM%d\n", port);
        return false;
    }
    runFor(300);
    return true;
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
