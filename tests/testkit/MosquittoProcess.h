#pragma once

#include "tests/testkit/ChildProcess.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// The MQTT broker of the operations room's tests, from a configuration of the
// test's own (never the packaged service): 127.0.0.1 only, on a port that was
// free, in TLS with the certificate and key given, every client a user of its
// password file (made with mosquitto_passwd), and an access list that lets
// each publisher write only PREFIX/<its user>/# and the viewers only read.
// With `persistent` it keeps its retained messages in its folder across a
// restart, as a broker in service does.
class MosquittoProcess {
public:
    static constexpr const char* Prefix = "uavcontrol";

    struct Options {
        QString certificate; // the server's; none: plain TCP
        QString key;
        QStringList publishers; // user names that may publish
        QStringList viewers;    // user names that may only read
        bool persistent = false;
        // A second listener, plain TCP, on plainPort(): for a client the test
        // plays byte by byte.
        bool plainListener = false;
    };

    explicit MosquittoProcess(const Options& options);
    ~MosquittoProcess();
    MosquittoProcess(const MosquittoProcess&) = delete;
    MosquittoProcess& operator=(const MosquittoProcess&) = delete;

    // Starts it, on the same port each time; true once it listens.
    bool start();
    // Ends it as an operator would (SIGTERM): a persistent one saves its store.
    void stop();
    // Ends it at once, as a crash or a machine that goes away would.
    void kill();
    bool running() { return process_.running(); }
    qint64 pid() const { return process_.pid(); }

    quint16 port() const { return port_; }
    quint16 plainPort() const { return plainPort_; }
    // "mqtts://127.0.0.1:PORT" or "mqtt://127.0.0.1:PORT".
    QString url() const;
    // The password of a user, in a file of its own closed to others, as a
    // client's password-file= names it.
    QString passwordFile(const QString& user) const;
    // What it said, the lines of its log.
    QString output();

    // Every user's password: the user name backwards and a fixed tail, so
    // that a test can also give a wrong one.
    static QString password(const QString& user);

private:
    QTemporaryDir folder_;
    QString configuration_;
    bool tls_ = false;
    quint16 port_ = 0;
    quint16 plainPort_ = 0;
    ChildProcess process_;
    QString output_;
};
