#include "tests/testkit/CertificateKit.h"
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

// An entry against a server configuration: either the port opens and answers
// a poll (xpdrctl status, through the port directory as the panel opens it), or
// xpdrctl says on stderr why not, naming the entry and the fix. In the rows,
// {kit} is the certificates' folder, {ports} the port directory, {plain} the
// plain server's HOST:PORT, and an entry without a first line of its own takes
// the server's.
TEST(SecureEntries, EachEntryAgainstEachServerOpensAndPollsOrNamesTheFault)
{
    enum Server { Plain, Tls, ExpiredTls, ClientAuth, ServerCount };
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
        {"a hostile host string", Plain, "rfc2217://x),stdio(sh:2000\n",
         "xpdrctl: COM1: the port entry {ports}/COM1, line 1 \"rfc2217://x),stdio(sh:2000\": 'x),stdio(sh' is not a "
         "host name\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QString entry = expand(QString::fromUtf8(row.entry));
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
            EXPECT_TRUE(run.err.endsWith(expand(QString::fromUtf8(row.expected)))) << run.err.toStdString();
        }
    }
}
