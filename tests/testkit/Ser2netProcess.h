#pragma once

#include "tests/testkit/ChildProcess.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// ser2net serving one pseudo-terminal of a test on 127.0.0.1, from a
// configuration of the test's own (never the packaged one): a port that was
// free, no banner, a raw TCP accepter or a telnet(rfc2217) one, in TLS when
// asked, and the line set up at `baud` 8N1.
class Ser2netProcess {
public:
    enum class Accepter { RawTcp, Rfc2217 };
    // The server's side of TLS: no TLS while `certificate` is empty. With an
    // `authDirectory` the client must show a certificate, one that the folder
    // <authDirectory>/<its common name>/allowed_certs holds (clientauth).
    struct Tls {
        QString certificate;
        QString key;
        QString authDirectory;
    };
    // ser2net holds what it reads from the line for two character times (at
    // least 1 ms) before sending it on, to send more at once; ToNetworkAtOnce
    // turns that off (chardelay: false).
    enum class CharDelay { Default, ToNetworkAtOnce };

    // `options` are further lines of the connection's options ("max-connections: 1").
    Ser2netProcess(const QString& device, Accepter accepter, int baud = 9600, CharDelay delay = CharDelay::Default,
                   const QStringList& options = {}, const Tls& tls = {});
    ~Ser2netProcess();
    Ser2netProcess(const Ser2netProcess&) = delete;
    Ser2netProcess& operator=(const Ser2netProcess&) = delete;

    // Starts it, on the same port each time; true once it listens.
    bool start();
    // Ends it as an operator would (SIGTERM).
    void stop();
    // Ends it at once, as a crash or a machine that goes away would.
    void kill();

    quint16 port() const { return port_; }
    // The first line of the port-directory entry that reaches it:
    // "tcp://127.0.0.1:PORT", "rfc2217+tls://127.0.0.1:PORT", ….
    QString entry() const;
    // What it said on its standard output and error.
    QString output();

private:
    bool listening() const;

    QTemporaryDir folder_;
    QString configuration_;
    Accepter accepter_;
    bool tls_ = false;
    quint16 port_ = 0;
    ChildProcess process_;
    QString output_;
};

// The pseudo-terminal a port-directory link leads to.
QString linkedDevice(const QString& link);
