#include "tests/testkit/CertificateKit.h"
#include "tests/testkit/ChildProcess.h"
#include "tests/testkit/PortDirectory.h"
#include "tests/testkit/RunProgram.h"
#include "tests/testkit/Ser2netProcess.h"
#include "tests/testkit/SimulatorProcess.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

#include <memory>
#include <sys/stat.h>

namespace {

// A TLS server of OpenSSL's own, for what ser2net cannot be made to do: speak
// an old protocol, offer weak suites alone, stand in for the server with a
// certificate of its own and ask for ours. It listens on a port the kernel
// chooses and answers as a web server would (its standard input, empty, would
// end each connection at once otherwise); what it saw of a client's
// certificate is in its output.
class ScriptedTlsServer {
public:
    explicit ScriptedTlsServer(const QStringList& options)
    {
        process_.start(QStringLiteral("openssl"),
                       QStringList{QStringLiteral("s_server"), QStringLiteral("-accept"), QStringLiteral("127.0.0.1:0"),
                                   QStringLiteral("-www")}
                           + options,
                       ChildProcess::Output::Merged);
        // "ACCEPT 127.0.0.1:PORT" once it listens.
        for (int line = 0; line < 4 && port_.isEmpty(); ++line) {
            const QByteArray text = process_.readLine(5000).trimmed();
            if (text.startsWith("ACCEPT ")) port_ = QString::fromLatin1(text).section(u':', -1);
        }
    }

    QString hostPort() const { return QStringLiteral("127.0.0.1:") + port_; }
    QByteArray heard() { return output_ += process_.readOutput(); }

private:
    ChildProcess process_;
    QString port_;
    QByteArray output_;
};

} // namespace

// An entry against a server configuration: either the port opens and answers
// a poll (xpdrctl status, through the port directory as the panel opens it), or
// xpdrctl says on stderr why not, naming the entry and the fix. In the rows,
// {kit} is the certificates' folder, {ports} the port directory, {plain} the
// plain server's HOST:PORT, and an entry without a first line of its own takes
// the server's.
TEST(SecureEntries, EachEntryAgainstEachServerOpensAndPollsOrNamesTheFault)
{
    enum Server { Plain, Tls, ExpiredTls, ClientAuth, WildcardIp, DnsIp, CommonNameIp, Elsewhere, ServerCount };
    PortDirectory ports;
    const CertificateKit kit;
    ASSERT_TRUE(kit.failure().isEmpty()) << kit.failure().toStdString();
    const QString kitPath = kit.path({}), portsPath = QString::fromStdString(ports.path());
    QString plainServer;
    const auto expand = [&](QString text) {
        return text.replace(QStringLiteral("{kit}"), kitPath).replace(QStringLiteral("{ports}"), portsPath)
            .replace(QStringLiteral("{plain}"), plainServer);
    };
    const Ser2netProcess::Tls tls[ServerCount] = {
        {},
        {expand("{kit}/server.pem"), expand("{kit}/server.key"), {}},
        {expand("{kit}/expired.pem"), expand("{kit}/server.key"), {}},
        {expand("{kit}/server.pem"), expand("{kit}/server.key"), expand("{kit}/auth")},
        {expand("{kit}/wildcard-ip.pem"), expand("{kit}/server.key"), {}},
        {expand("{kit}/dns-ip.pem"), expand("{kit}/server.key"), {}},
        {expand("{kit}/cn-ip.pem"), expand("{kit}/server.key"), {}},
        {expand("{kit}/elsewhere.pem"), expand("{kit}/server.key"), {}},
    };
    std::unique_ptr<SimulatorProcess> simulators[ServerCount];
    std::unique_ptr<Ser2netProcess> servers[ServerCount];
    for (int s = 0; s < ServerCount; ++s) {
        // Each serves a simulated transponder of its own, COM10 and on.
        simulators[s] = std::make_unique<SimulatorProcess>(10 + s, QStringList{});
        ASSERT_TRUE(simulators[s]->ready()) << "the simulator did not start";
        servers[s] = std::make_unique<Ser2netProcess>(linkedDevice(QString::fromStdString(ports.entry(10 + s))),
                                                      Ser2netProcess::Accepter::Rfc2217, 9600,
                                                      Ser2netProcess::CharDelay::Default, QStringList{}, tls[s]);
        ASSERT_TRUE(servers[s]->start()) << "ser2net did not start: " << servers[s]->output().toStdString();
    }
    plainServer = servers[Plain]->entry().section(QStringLiteral("://"), 1);
    const QString key = expand("{kit}/server.key");
    ScriptedTlsServer oldTls({QStringLiteral("-cert"), expand("{kit}/server.pem"), QStringLiteral("-key"), key,
                              QStringLiteral("-tls1_1"), QStringLiteral("-cipher"), QStringLiteral("DEFAULT@SECLEVEL=0")});
    ScriptedTlsServer weakSuite({QStringLiteral("-cert"), expand("{kit}/server.pem"), QStringLiteral("-key"), key,
                                 QStringLiteral("-tls1_2"), QStringLiteral("-cipher"), QStringLiteral("AES128-SHA")});
    // Its certificate is its own; it asks for ours and would say whose it got.
    ScriptedTlsServer impostor({QStringLiteral("-cert"), expand("{kit}/stranger.pem"), QStringLiteral("-key"),
                                expand("{kit}/stranger.key"), QStringLiteral("-Verify"), QStringLiteral("1")});
    const auto expandAll = [&](const QString& text) {
        return expand(text).replace(QStringLiteral("{old}"), oldTls.hostPort()).replace(QStringLiteral("{weak}"), weakSuite.hostPort())
            .replace(QStringLiteral("{impostor}"), impostor.hostPort());
    };
    // A CA file anyone may change.
    ASSERT_TRUE(QFile::copy(expand("{kit}/ca.pem"), expand("{ports}/open-ca.pem")));
    ASSERT_EQ(::chmod(expand("{ports}/open-ca.pem").toLocal8Bit().constData(), 0666), 0);
    // A copy of the operator's key that others may read.
    ASSERT_TRUE(QFile::copy(expand("{kit}/operator.key"), expand("{ports}/open.key")));
    ASSERT_EQ(::chmod(expand("{ports}/open.key").toLocal8Bit().constData(), 0644), 0);

    const struct {
        const char* name;
        Server server;
        const char* entry;
        const char* expected; // empty: opens and polls; otherwise a part of xpdrctl's stderr
    } rows[] = {
        {"plain", Plain, "", ""},
        {"TLS, the server's certificate trusted", Tls, "ca={kit}/ca.pem\n", ""},
        {"TLS, an unknown CA", Tls, "ca={kit}/unknown-ca.pem\n",
         "the server's certificate is not signed by ca={kit}/unknown-ca.pem: give ca= the CA (or the certificate) the "
         "server's certificate comes from\n"},
        {"TLS, a wrong server name", Tls, "ca={kit}/ca.pem\nservername=bench-3.lab\n",
         "the server's certificate does not name bench-3.lab: write the name it holds in servername=, or give the "
         "server a certificate for bench-3.lab\n"},
        {"TLS, an expired certificate", ExpiredTls, "ca={kit}/ca.pem\n",
         "the server's certificate has expired (or is not valid yet): renew the server's certificate\n"},
        {"TLS to a server that speaks none", Plain, "rfc2217+tls://{plain}\nca={kit}/ca.pem\n",
         "the server does not speak TLS on this port: write the scheme without +tls, or give the server's accepter an "
         "ssl(...) layer\n"},
        {"client authentication, an allowed certificate", ClientAuth,
         "ca={kit}/ca.pem\ncert={kit}/operator.pem\nkey={kit}/operator.key\n", ""},
        {"client authentication, no certificate", ClientAuth, "ca={kit}/ca.pem\n",
         "the server asks for a client certificate: give cert= and key= of one it allows\n"},
        {"client authentication, an unknown certificate", ClientAuth,
         "ca={kit}/ca.pem\ncert={kit}/stranger.pem\nkey={kit}/stranger.key\n",
         "the server refused our certificate (cert={kit}/stranger.pem): have it allowed on the server (its CA or "
         "authdir), or give one it allows\n"},
        {"client authentication, a wrong key", ClientAuth,
         "ca={kit}/ca.pem\ncert={kit}/operator.pem\nkey={kit}/stranger.key\n",
         "key={kit}/stranger.key is not the key of cert={kit}/operator.pem: give the key the certificate was made for\n"},
        {"a key readable by others", ClientAuth, "ca={kit}/ca.pem\ncert={kit}/operator.pem\nkey={ports}/open.key\n",
         "xpdrctl: COM1: the port entry {ports}/COM1: the key file {ports}/open.key is open to others (mode 0644): "
         "chmod 600 {ports}/open.key\n"},
        {"an address against a wildcard name", WildcardIp, "ca={kit}/ca.pem\n",
         "the server's certificate does not name 127.0.0.1: write the name it holds in servername=, or give the "
         "server a certificate for 127.0.0.1\n"},
        {"an address against the same text as a name", DnsIp, "ca={kit}/ca.pem\n",
         "the server's certificate does not name 127.0.0.1: write the name it holds in servername=, or give the "
         "server a certificate for 127.0.0.1\n"},
        {"an address against a common name", CommonNameIp, "ca={kit}/ca.pem\n",
         "the server's certificate does not name 127.0.0.1: write the name it holds in servername=, or give the "
         "server a certificate for 127.0.0.1\n"},
        {"a host the certificate does not name, no servername=", Elsewhere, "ca={kit}/ca.pem\n",
         "the server's certificate does not name 127.0.0.1: write the name it holds in servername=, or give the "
         "server a certificate for 127.0.0.1\n"},
        {"the name a certificate holds in servername=", Elsewhere, "ca={kit}/ca.pem\nservername=bench-3.lab\n", ""},
        {"ca= left out: the system's CAs", Tls, "",
         "the server's certificate is not signed by the system's CAs: give ca= the CA (or the certificate) the "
         "server's certificate comes from\n"},
        {"the server's own certificate as ca=", Tls, "ca={kit}/server.pem\n", ""},
        {"a server of TLS 1.1 only", Plain, "tcp+tls://{old}\nca={kit}/ca.pem\n",
         "the server speaks no TLS 1.2 or newer: update the server's TLS (its OpenSSL) or allow TLS 1.2 in its "
         "configuration\n"},
        {"a server of weak suites only", Plain, "tcp+tls://{weak}\nca={kit}/ca.pem\n",
         "the server offers no TLS 1.2 suite with forward secrecy (ECDHE or DHE with AES-GCM or ChaCha20) and no TLS "
         "1.3: allow them in the server's TLS configuration\n"},
        {"an impostor that asks for our certificate", Plain,
         "tcp+tls://{impostor}\nca={kit}/ca.pem\ncert={kit}/operator.pem\nkey={kit}/operator.key\n",
         "the server's certificate is not signed by ca={kit}/ca.pem: give ca= the CA (or the certificate) the "
         "server's certificate comes from\n"},
        {"a CA file others may change", Tls, "ca={ports}/open-ca.pem\n",
         "xpdrctl: COM1: the port entry {ports}/COM1: its CA file {ports}/open-ca.pem can be changed by others (mode "
         "0666): chmod go-w {ports}/open-ca.pem\n"},
        {"a hostile host string", Plain, "rfc2217://x),stdio(sh:2000\n",
         "xpdrctl: COM1: the port entry {ports}/COM1, line 1 \"rfc2217://x),stdio(sh:2000\": 'x),stdio(sh' is not a "
         "host name\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QString entry = expandAll(QString::fromUtf8(row.entry));
        if (!entry.contains(QStringLiteral("://"))) entry.prepend(servers[row.server]->entry() + u'\n');
        ports.write(1, entry.toStdString());
        const ProgramRun run = runWithoutDisplay(QStringLiteral(XPDRCTL_PATH),
                                                 {QStringLiteral("--port"), QStringLiteral("COM1"), QStringLiteral("status"),
                                                  QStringLiteral("--json")});
        if (*row.expected == '\0') {
            EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
            EXPECT_EQ(QJsonDocument::fromJson(run.out.toUtf8()).object().value(QStringLiteral("code")).toString(),
                      QStringLiteral("1200"))
                << run.out.toStdString();
        } else {
            EXPECT_EQ(run.exitCode, 3);
            EXPECT_TRUE(run.err.endsWith(expandAll(QString::fromUtf8(row.expected)))) << run.err.toStdString();
        }
    }
    // The impostor ended the handshake before it could learn whom the server takes.
    EXPECT_FALSE(impostor.heard().contains("operator")) << impostor.heard().toStdString();
}
