#include "serial/PortReconnector.h"

#include "framework/FolderWatch.h"
#include "platform/PortDirectoryOnly.h"
#include "platform/PortNames.h"
#include "serial/Serial2.h"

#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>

namespace {

QString comName(const TSerial& serial)
{
    return QStringLiteral("COM%1").arg(unsigned{serial.Port()});
}

// The port's entry in the port directory; empty without a port directory. The
// built-in devices are left out: a UART on the board does not come and go.
std::string entryOf(const QString& comName)
{
    const std::string directory = platform::portDirectory();
    return directory.empty() ? std::string() : directory + "/" + comName.toStdString();
}

bool exists(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

// Tells one link from another made later under the same name.
QString linkIdentity(const std::string& path)
{
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) return {};
    return QStringLiteral("%1:%2.%3").arg(info.st_ino).arg(info.st_ctim.tv_sec).arg(info.st_ctim.tv_nsec);
}

bool isPseudoTerminal(const std::string& path)
{
    struct stat info {};
    // The slaves of the Unix 98 pseudo-terminals have the majors 136 to 143.
    return ::stat(path.c_str(), &info) == 0 && S_ISCHR(info.st_mode) && major(info.st_rdev) >= 136
        && major(info.st_rdev) <= 143;
}

// The folder of the pseudo-terminals, wherever it is mounted. It changes whenever
// any program on the machine opens or closes a terminal, and nothing there can
// bring a lost port back: only a new link in the port directory does (see
// lookAgain()). Watching it would wake the panel for every terminal.
bool isPseudoTerminalFolder(const QString& folder)
{
    struct statfs info {};
    return ::statfs(folder.toLocal8Bit().constData(), &info) == 0 && info.f_type == DEVPTS_SUPER_MAGIC;
}

} // namespace

PortReconnector::PortReconnector(TSerial& serial, QObject* parent)
    : QObject(parent)
    , serial_(serial)
{
    connect(&serial_, &TSerial::portLost, this, [this] { waitForDevice(); });
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, [this] { lookAgain(); });
    retry_.setOnTimer([this](QObject*) { tryTheServer(); });
}

void PortReconnector::setEnabled(bool enabled)
{
    enabled_ = enabled;
    if (!enabled) stop();
}

void PortReconnector::waitForDevice()
{
    if (!enabled_ || serial_.Active()) return;
    lostLink_ = linkIdentity(entryOf(comName(serial_)));
    schedule_.reset();
    waiting_ = true;
    lookAgain();
}

void PortReconnector::stop()
{
    waiting_ = false;
    retry_.setEnabled(false);
    const QStringList folders = watcher_.directories();
    if (!folders.isEmpty()) watcher_.removePaths(folders);
}

void PortReconnector::lookAgain()
{
    if (!waiting_ || opening_) return;
    const QString name = comName(serial_);
    watchTheWayTo(name);
    const std::string entry = entryOf(name);
    if (entry.empty() || !exists(entry)) return;
    if (platform::isNetworkEntry(entry)) {
        // An entry that changes is tried at once, in the place of the next
        // scheduled attempt.
        tryTheServer();
        return;
    }
    if (isPseudoTerminal(entry) && linkIdentity(entry) == lostLink_) return;
    // The entry may go again before the opening looks it up.
    const platform::PortDirectoryOnly directoryOnly;
    if (serial_.tryOpen() != 0) return;
    stop();
    emit restored();
}

void PortReconnector::tryTheServer()
{
    retry_.setEnabled(false);
    if (!waiting_ || opening_) return;
    // Opening a network port waits in the event loop, where the watch and the
    // timer could start another attempt.
    opening_ = true;
    const int error = serial_.tryOpen();
    opening_ = false;
    if (!waiting_) return; // stopped meanwhile
    if (error == 0) {
        stop();
        emit restored();
        return;
    }
    retry_.setInterval(static_cast<unsigned>(schedule_.next().count()));
    retry_.setEnabled(true);
}

void PortReconnector::watchTheWayTo(const QString& comName)
{
    QStringList folders;
    const auto add = [&folders](const QString& path) {
        const QString folder = QString::fromStdString(platform::nearestExistingFolder(path.toStdString()));
        if (!isPseudoTerminalFolder(folder)) folders << folder;
    };
    // Every link on the way: the port-directory entry, a by-id name, the device.
    std::string step = entryOf(comName);
    for (int hops = 0; !step.empty() && hops < 16; ++hops) {
        add(QString::fromStdString(step));
        step = platform::linkTarget(step);
    }
    fw::watchExactly(watcher_, folders);
}
