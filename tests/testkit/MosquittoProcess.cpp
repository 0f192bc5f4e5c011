#include "tests/testkit/MosquittoProcess.h"

#include "tests/testkit/LoopbackPort.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QStandardPaths>
#include <QThread>

#include <algorithm>
#include <sys/stat.h>

namespace {

QString program(const QString& name)
{
    return QStandardPaths::findExecutable(name, {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin")});
}

bool writeFile(const QString& path, const QByteArray& content, QFile::Permissions permissions)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size() && file.setPermissions(permissions);
}

} // namespace

MosquittoProcess::MosquittoProcess(const Options& options)
    : tls_(!options.certificate.isEmpty())
    , port_(freeLoopbackPort())
{
    const QString passwords = folder_.filePath(QStringLiteral("passwords"));
    const QString access = folder_.filePath(QStringLiteral("access"));
    configuration_ = folder_.filePath(QStringLiteral("mosquitto.conf"));
    // Mosquitto started as root drops to its own user unless told to stay:
    // the test's files are root's and closed to others.
    QByteArray config = QStringLiteral("user root\n"
                                       "per_listener_settings false\n"
                                       "listener %1 127.0.0.1\n"
                                       "allow_anonymous false\n"
                                       "password_file %2\n"
                                       "acl_file %3\n"
                                       "log_dest stdout\n"
                                       "log_type error\nlog_type warning\nlog_type notice\nlog_type information\n"
                                       "persistence %4\n"
                                       "persistence_location %5/\n"
                                       "autosave_interval 1\n")
                            .arg(port_)
                            .arg(passwords, access, options.persistent ? QStringLiteral("true") : QStringLiteral("false"),
                                 folder_.path())
                            .toUtf8();
    if (tls_) config += QStringLiteral("certfile %1\nkeyfile %2\n").arg(options.certificate, options.key).toUtf8();
    if (options.plainListener) {
        plainPort_ = freeLoopbackPort();
        config += QStringLiteral("listener %1 127.0.0.1\n").arg(plainPort_).toUtf8();
    }
    // Each publisher writes (and reads, for its own online topic) only under
    // its name; a viewer reads everything and writes nothing. A block a user:
    // a pattern would let a viewer write under its own name too.
    QByteArray acl;
    for (const QString& publisher : options.publishers)
        acl += QStringLiteral("user %1\ntopic readwrite %2/%1/#\n").arg(publisher, QLatin1String(Prefix)).toUtf8();
    for (const QString& viewer : options.viewers)
        acl += QStringLiteral("user %1\ntopic read %2/#\n").arg(viewer, QLatin1String(Prefix)).toUtf8();
    const QFile::Permissions owner = QFile::ReadOwner | QFile::WriteOwner;
    if (!writeFile(configuration_, config, owner) || !writeFile(access, acl, owner)) return;

    QStringList users = options.publishers + options.viewers;
    for (const QString& user : users) {
        if (!writeFile(passwordFile(user), password(user).toUtf8() + '\n', owner)) return;
        ChildProcess passwd;
        QStringList arguments{QStringLiteral("-b"), passwords, user, password(user)};
        if (!QFile::exists(passwords)) arguments.prepend(QStringLiteral("-c"));
        if (!passwd.start(program(QStringLiteral("mosquitto_passwd")), arguments, ChildProcess::Output::Merged)
            || !passwd.runToEnd(10000) || passwd.exitCode() != 0)
            return;
    }
    QFile::setPermissions(passwords, owner);
}

MosquittoProcess::~MosquittoProcess()
{
    stop();
}

bool MosquittoProcess::start()
{
    const QString broker = program(QStringLiteral("mosquitto"));
    if (broker.isEmpty() || port_ == 0) return false;
    if (!process_.start(broker, {QStringLiteral("-c"), configuration_}, ChildProcess::Output::Merged)) return false;
    const QDeadlineTimer deadline(5000);
    while (!deadline.hasExpired()) {
        if (listeningOnLoopback(port_) && (plainPort_ == 0 || listeningOnLoopback(plainPort_))) return true;
        if (!process_.running()) return false;
        QThread::msleep(5);
    }
    return false;
}

void MosquittoProcess::stop()
{
    if (!process_.terminate()) kill();
}

void MosquittoProcess::kill()
{
    process_.kill();
}

QString MosquittoProcess::url() const
{
    return QStringLiteral("%1://127.0.0.1:%2").arg(tls_ ? QStringLiteral("mqtts") : QStringLiteral("mqtt")).arg(port_);
}

QString MosquittoProcess::passwordFile(const QString& user) const
{
    return folder_.filePath(user + QStringLiteral(".password"));
}

QString MosquittoProcess::output()
{
    output_ += QString::fromLocal8Bit(process_.readOutput());
    return output_;
}

QString MosquittoProcess::password(const QString& user)
{
    QString reversed = user;
    std::reverse(reversed.begin(), reversed.end());
    return reversed + QStringLiteral("-pass");
}
