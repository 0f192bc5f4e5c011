#include "tests/testkit/Ser2netProcess.h"

#include "tests/testkit/LoopbackPort.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>

namespace {

QString ser2netProgram()
{
    return QStandardPaths::findExecutable(QStringLiteral("ser2net"), {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin")});
}

} // namespace

Ser2netProcess::Ser2netProcess(const QString& device, Accepter accepter, int baud, CharDelay delay,
                               const QStringList& options, const Tls& tls)
    : accepter_(accepter)
    , tls_(!tls.certificate.isEmpty())
    , port_(freeLoopbackPort())
{
    configuration_ = folder_.filePath(QStringLiteral("ser2net.yaml"));
    QString accepterText = tls_ ? QStringLiteral("ssl(key=%1,cert=%2%3),tcp")
                                      .arg(tls.key, tls.certificate,
                                           tls.authDirectory.isEmpty() ? QString() : QStringLiteral(",clientauth"))
                                : QStringLiteral("tcp");
    if (accepter == Accepter::Rfc2217) accepterText.prepend(QStringLiteral("telnet(rfc2217),"));
    QFile file(configuration_);
    if (!file.open(QIODevice::WriteOnly)) return;
    file.write(QStringLiteral("%YAML 1.1\n"
                              "---\n"
                              "connection: &transponder\n"
                              "  accepter: %1,127.0.0.1,%2\n"
                              "  connector: serialdev,%3,%4n81,local\n")
                   .arg(accepterText)
                   .arg(port_)
                   .arg(device)
                   .arg(baud)
                   .toUtf8());
    QStringList lines = options;
    if (!tls.authDirectory.isEmpty()) lines << QStringLiteral("authdir: ") + tls.authDirectory;
    if (delay == CharDelay::ToNetworkAtOnce) lines << QStringLiteral("chardelay: false");
    if (!lines.isEmpty()) file.write(("  options:\n    " + lines.join(QStringLiteral("\n    ")) + "\n").toUtf8());
}

Ser2netProcess::~Ser2netProcess()
{
    stop();
}

bool Ser2netProcess::start()
{
    const QString program = ser2netProgram();
    if (program.isEmpty() || port_ == 0) return false;
    // In the foreground (-n), with our configuration only (-c), without UUCP
    // locks (-u), its messages on its output (-d).
    if (!process_.start(program, {QStringLiteral("-n"), QStringLiteral("-d"), QStringLiteral("-u"), QStringLiteral("-c"), configuration_},
                        ChildProcess::Output::Merged))
        return false;
    const QDeadlineTimer deadline(5000);
    while (!deadline.hasExpired()) {
        if (listening()) return true;
        if (!process_.running()) return false;
        QThread::msleep(5);
    }
    return false;
}

void Ser2netProcess::stop()
{
    if (!process_.terminate()) kill();
}

void Ser2netProcess::kill()
{
    process_.kill();
}

QString Ser2netProcess::entry() const
{
    const QString scheme = accepter_ == Accepter::Rfc2217 ? QStringLiteral("rfc2217") : QStringLiteral("tcp");
    return QStringLiteral("%1%2://127.0.0.1:%3").arg(scheme, tls_ ? QStringLiteral("+tls") : QString()).arg(port_);
}

QString Ser2netProcess::output()
{
    output_ += QString::fromLocal8Bit(process_.readOutput());
    return output_;
}

bool Ser2netProcess::listening() const
{
    return listeningOnLoopback(port_);
}

QString linkedDevice(const QString& link)
{
    return QFileInfo(link).canonicalFilePath();
}
